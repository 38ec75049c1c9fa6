#pragma once
// The real sound devices through Qt Multimedia (PulseAudio/PipeWire on Linux).
//
// Device numbers follow QMediaDevices::audioOutputs()/audioInputs(); -1 is the
// default device. An output device runs its QAudioSink in pull mode on a thread of
// its own, reading the queued buffers. A buffer counts as done once the sink has
// played past its end (processedUSecs), not merely read it: PulseAudio reads up to
// a second ahead, and a player that closed on "read" would cut off the end.
// An input device reads its QAudioSource on the thread that opened it and fills the
// added buffers in order.

#include "SoundSystem.h"

class QtSoundSystem final : public ISoundSystem
{
public:
    QString BackendName() const override { return QStringLiteral("qt"); }
    std::uint32_t WaveOutNumDevs() override;
    MMRESULT WaveOutGetDevCaps(int device, QString& productName) override;
    MMRESULT WaveOutOpen(std::unique_ptr<IWaveOut>& out, int device, const tWAVEFORMATEX& format) override;
    std::uint32_t WaveInNumDevs() override;
    MMRESULT WaveInGetDevCaps(int device, QString& productName) override;
    MMRESULT WaveInOpen(std::unique_ptr<IWaveIn>& in, int device, const tWAVEFORMATEX& format,
                        WaveInNotify notify) override;
};
