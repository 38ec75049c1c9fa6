#pragma once
// Turns a common audio file (WAV, FLAC, Ogg... anything libsndfile reads) into a
// message recording: mixed to mono, resampled to 8000 Hz with libsoxr when it has
// another rate, and fed to TConverter in the 4096-byte chunks a capture gives (the
// last one completed with silence), so the file has exactly the recorder's layout.
//
//   const AudioImportResult r = ImportAudioFile(source, workFolder + "announce.wav", WaveTag::ALaw, messages);
//   if (r.ok) PlaceMessageFile(workFolder + "announce.wav", currentFolder, r.seconds);
// The target is written under a temporary name beside it and replaces the old file
// only when everything went well; on failure nothing is changed.

#include "MessageService.h"

#include <QString>

#include <cstdint>

struct AudioImportResult
{
    bool ok = false;
    QString errorText;
    std::int32_t seconds = 0; // the encoder's length (PCM bytes / 16000.5, cut off)
    std::uint32_t blocks = 0; // 2048-sample blocks written
    std::int32_t sourceRate = 0;
    std::int32_t sourceChannels = 0;
    std::int64_t sourceFrames = 0;
};

// Samples per block handed to the converter (256 ms at 8000 Hz).
inline constexpr int kImportBlockSamples = 2048;

AudioImportResult ImportAudioFile(const QString& source, const QString& target, std::uint16_t formatTag,
                                  IMessageService& messages);
