#pragma once
// The virtual sound back-end: clock-driven output and input devices without hardware.
//
// Output consumes queued buffers at the format's byte rate measured on an IAudioClock
// and records everything it played (Playbacks()), with the gaps where it ran dry
// between buffers. Input produces samples at the same pace from a WAV file (converted
// to the requested format, silence after its end) or from a generated signal.
//
//   VirtualSoundConfig cfg;
//   cfg.clock = std::make_shared<SteadyAudioClock>(20.0);  // 20 times real time
//   VirtualSoundSystem sound(cfg);
//   ... play through sound ...; sound.Playbacks().last().played  // the PCM heard
// With a ManualAudioClock a test moves time itself (Advance) and nothing happens between.
// cfg.fault lets a test make any device operation fail with a chosen result code.

#include "SoundSystem.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class IAudioClock
{
public:
    virtual ~IAudioClock() = default;
    virtual std::int64_t NowNs() const = 0; // device time in nanoseconds, never decreasing
};

// Real time multiplied by a speed factor.
class SteadyAudioClock final : public IAudioClock
{
public:
    explicit SteadyAudioClock(double speed = 1.0) : m_speed(speed), m_start(std::chrono::steady_clock::now()) {}
    std::int64_t NowNs() const override
    {
        const auto real = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - m_start);
        return static_cast<std::int64_t>(static_cast<double>(real.count()) * m_speed);
    }
    double Speed() const { return m_speed; }

private:
    double m_speed;
    std::chrono::steady_clock::time_point m_start;
};

// Time that moves only when the test says so.
class ManualAudioClock final : public IAudioClock
{
public:
    std::int64_t NowNs() const override { return m_now.load(); }
    void Advance(std::int64_t ns) { m_now += ns; }
    void AdvanceMs(std::int64_t ms) { m_now += ms * 1000000; }

private:
    std::atomic<std::int64_t> m_now{0};
};

struct VirtualSoundConfig
{
    QStringList outputs{QStringLiteral("Virtual Output")};
    QStringList inputs{QStringLiteral("Virtual Input")};
    std::shared_ptr<IAudioClock> clock; // default: real time
    // Capture source: a WAV file (PCM 16-bit, any rate and channel count) or, when empty,
    // the generator (default: a 440 Hz sine at half scale), called per frame.
    QString inputWav;
    std::function<std::int16_t(std::uint64_t frame, std::uint32_t rate)> generator;
    // Fault injection: called with the operation ("WaveOutOpen", "Pause", "Restart",
    // "Reset", "Close", "PrepareHeader", "Write", "GetPosition", "WaveInOpen", "Start",
    // "Stop", "AddBuffer") and the device number; a non-zero result fails that call.
    std::function<MMRESULT(const char* operation, int device)> fault;
};

// One output session, from open to close.
struct VirtualPlayback
{
    int device = 0;
    tWAVEFORMATEX format;
    QByteArray played;          // every byte the device consumed, in order
    int gaps = 0;               // times the device ran dry and then got more data
    std::int64_t gapNs = 0;     // device time spent dry before those refills
    int writes = 0;             // buffers handed in
    bool closed = false;
};

class VirtualSoundSystem final : public ISoundSystem
{
public:
    explicit VirtualSoundSystem(VirtualSoundConfig config = {});
    ~VirtualSoundSystem() override;

    QString BackendName() const override { return QStringLiteral("virtual"); }
    std::uint32_t WaveOutNumDevs() override;
    MMRESULT WaveOutGetDevCaps(int device, QString& productName) override;
    MMRESULT WaveOutOpen(std::unique_ptr<IWaveOut>& out, int device, const tWAVEFORMATEX& format) override;
    std::uint32_t WaveInNumDevs() override;
    MMRESULT WaveInGetDevCaps(int device, QString& productName) override;
    MMRESULT WaveInOpen(std::unique_ptr<IWaveIn>& in, int device, const tWAVEFORMATEX& format,
                        WaveInNotify notify) override;

    QList<VirtualPlayback> Playbacks() const;
    const std::shared_ptr<IAudioClock>& Clock() const { return m_clock; }

    struct Shared; // state the devices share with the system

private:
    VirtualSoundConfig m_config;
    std::shared_ptr<IAudioClock> m_clock;
    std::shared_ptr<Shared> m_shared;
};
