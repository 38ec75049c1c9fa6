#pragma once
// TConverter encodes 16-bit mono PCM into a target format (G.711 a-law or mu-law for
// the message) through two conversion stages and writes it as a RIFF/WAVE file:
//
//   TConverter conv(owner, messages);
//   conv.InitRecord(FormatOut(G711Format(WaveTag::ALaw)), 4096, path);  // 16-bit mono, 8000 Hz
//   for each captured chunk of 4096 bytes: conv.Convert2Wave(chunk);
//   int seconds = conv.Close();              // PCM bytes consumed / 16000.5, cut off
//
// The file: "RIFF" form "WAVE", "fmt " (18 + extra bytes of the target format),
// "fact" (4 bytes of 0), an optional "LIST"/"adtl" with one "note" chunk (from
// OnGetNote), then "data". It also answers buffer-size questions for the capture
// side (InBufferSize) and cuts seconds off the end of a wave file (CutWaveFile).
// Set-up failures are shown through the message service and return false / 0.

#include "AcmStream.h"
#include "MessageService.h"
#include "Riff.h"
#include "WaveFormat.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TConverter;

// A block has been encoded; setting Skip keeps it out of the file.
using TConverterOutputEvent = std::function<void(TConverter* Sender, bool& Skip)>;
// Supplies the note of the file about to be written (empty: no note).
using TConverterNoteEvent = std::function<void(TConverter* Sender, QByteArray& Note)>;
// Overrides the sizes CutWaveFile works with.
using TConverterByteInfoEvent =
    std::function<void(TConverter* Sender, std::int32_t& BytesPerSecond, std::int32_t& BlockBytes)>;

class TConverter final : public QObject
{
    Q_OBJECT
public:
    TConverter(QObject* owner, IMessageService& messages);
    ~TConverter() override;

    // Block size in bytes the two stages need for an input of `bytes` 16-bit mono PCM at
    // the format's rate; 0 on failure (error then holds the second stage's result code).
    std::uint32_t InBufferSize(const tWaveFormatOut& format, std::uint32_t bytes, MMRESULT& error);

    bool InitRecordSz(const tWaveFormatOut& format, std::uint32_t chunkBytes, const QString& fileName,
                      std::uint32_t rate);
    bool InitRecord(const tWaveFormatOut& format, std::uint32_t chunkBytes, const QString& fileName)
    {
        return InitRecordSz(format, chunkBytes, fileName, 8000);
    }
    bool InitRecord16k(const tWaveFormatOut& format, std::uint32_t chunkBytes, const QString& fileName)
    {
        return InitRecordSz(format, chunkBytes, fileName, 16000);
    }

    // Takes exactly the chunk size of the set-up; false when the second stage fails
    // or the file cannot be written. After a write failure nothing more is written.
    bool Convert2Wave(const void* chunk);
    // Finishes the file and releases the stages; the length in whole seconds.
    // WriteFailed() then tells whether the file is complete.
    std::int32_t Close();
    // True when a write of the file being (or last) written failed, in Convert2Wave or
    // in Close: the file on disk is incomplete. Cleared by the next InitRecordSz.
    bool WriteFailed() const { return m_writeFailed; }
    // The file system's reason for that failure.
    QString WriteErrorText() const { return m_writeError; }

    // True when 22050 Hz 16-bit mono PCM can be converted to the format (query only).
    bool IsPossible(const tWaveFormatOut& format);
    // Removes the last seconds of a wave file; returns the seconds kept.
    std::int32_t CutWaveFile(const QString& fileName, std::int32_t seconds);
    // Checks that a wave file can be decoded to 8000 Hz 16-bit mono PCM in 1024-byte
    // blocks and shows the sizes (a diagnostic; nothing stays open).
    bool InitPlay(std::int32_t value, const QString& fileName);

    bool IsWriting() const { return m_file.IsOpen(); }
    std::uint32_t BlockSize() const { return m_blockSize; }
    std::uint32_t ChunkSize() const { return m_chunkSize; }
    std::uint32_t ConsumedTotal() const { return m_consumedTotal; }

    TConverterOutputEvent OnOutput;
    TConverterNoteEvent OnGetNote;
    TConverterByteInfoEvent OnByteInfo;

private:
    static tWAVEFORMATEX Pcm16Mono(std::uint32_t rate);
    // Writes RIFF/WAVE, "fmt ", "fact", the note, and opens "data" in file.
    bool WriteHead(TRiffFile& file, const QByteArray& fmtBytes, tRiffChunk& riff, tRiffChunk& data);
    bool ConvertBlock(std::uint32_t bytes, std::uint32_t stage2Flags);
    void NoteWriteFailure();
    void Release();

    IMessageService& m_messages;

    tAcmStreamHeader m_header1;
    std::unique_ptr<TAcmStream> m_stream1;
    std::vector<std::uint8_t> m_out2;
    std::vector<std::uint8_t> m_out1;
    std::vector<std::uint8_t> m_block;
    std::uint32_t m_chunkSize = 0;
    std::uint32_t m_blockSize = 0;
    std::uint32_t m_fill = 0;
    std::uint32_t m_consumedTotal = 0;
    tWAVEFORMATEX m_intermediate = Pcm16Mono(8000);
    tWAVEFORMATEX m_source = Pcm16Mono(8000);
    QByteArray m_note;
    tAcmStreamHeader m_header2;
    std::unique_ptr<TAcmStream> m_stream2;
    TRiffFile m_file;
    tRiffChunk m_riff;
    tRiffChunk m_fact;
    tRiffChunk m_data;
    bool m_writeFailed = false;
    QString m_writeError;
};
