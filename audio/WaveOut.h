#pragma once
// TWaveOut plays raw PCM through a fixed ring of equal buffers on a wave-output device.
// Its worker TWaveOutThread polls the device every 50 ms for one done notice, frees
// that ring slot and asks the owner for more through OnBufferTrigger; when the ring
// has drained while playing it raises OnFinish. Both events run on the worker thread
// with the engine's recursive lock held, so a handler may call Queue.
//
//   TWaveOut out(owner, sound, messages);
//   out.SetnSamplesPerSecond(8000); out.SetBufferSize(16000);   // only while closed
//   out.OnBufferTrigger = [&](TWaveOut*) { out.Queue(next); };
//   out.Open(-1); out.Queue(a); out.Queue(b); out.Queue(c); out.Play();
//   ... out.Pause(); out.Play(); ... out.Close();
// Device failures are shown through the message service, on the calling thread
// (for Queue from OnBufferTrigger that is the worker thread), and return false.

#include "SoundSystem.h"
#include "MessageService.h"

#include <QObject>
#include <QRecursiveMutex>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TWaveOut;

// An event bound to an object, called with the raising component first.
using TNotifyEvent = std::function<void(QObject* Sender)>;

class TWaveOutThread final : public QThread
{
    Q_OBJECT
public:
    explicit TWaveOutThread(TWaveOut* owner) : m_owner(owner) {}

protected:
    void run() override;

private:
    TWaveOut* m_owner;
};

class TWaveOut final : public QObject
{
    Q_OBJECT
public:
    enum State : std::int8_t { Opened = 0, Playing = 1, Paused = 2, ResetState = 3, Closing = 4, Closed = 5 };

    // The worker's polling interval.
    static constexpr int kPollIntervalMs = 50;

    TWaveOut(QObject* owner, ISoundSystem& sound, IMessageService& messages);
    ~TWaveOut() override;

    // Properties.
    std::uint32_t PositionTime();       // samples played since Open; 0 when the query fails
    std::uint32_t Position();           // bytes played since Open; 0 when the query fails
    std::uint32_t WaveOutNumDevs() { return m_sound.WaveOutNumDevs(); }
    std::int32_t BufferSize() const { return m_bufferSize; }
    void SetBufferSize(std::int32_t value);       // while closed, above 16
    std::int32_t BufferCount() const { return m_bufferCount; }
    void SetBufferCount(std::int32_t value);      // while closed, positive
    std::int32_t TriggerPosition() const { return m_triggerPosition; }
    void SetTriggerPosition(std::int32_t value);  // while closed, at most the count
    std::int32_t BufferFree();
    std::uint16_t nChannels() const { return m_format.nChannels; }
    void SetnChannels(std::uint16_t value);
    std::uint32_t nSamplesPerSecond() const { return m_format.nSamplesPerSec; }
    void SetnSamplesPerSecond(std::uint32_t value);
    std::uint16_t nBitsPerSample() const { return m_format.wBitsPerSample; }
    void SetnBitsPerSample(std::uint16_t value);
    std::uint16_t nBlockAlign() const { return m_format.nBlockAlign; }
    std::uint32_t nAvgBytesPerSec() const { return m_format.nAvgBytesPerSec; }
    std::uint16_t HWaveOutId() const { return m_handleId; }
    State GetState() const { return m_state.load(); }
    std::int32_t Queued();

    TNotifyEvent OnBufferTrigger;
    TNotifyEvent OnFinish;

    // Operations.
    bool Open(int device);
    bool Queue(const void* data); // copies exactly BufferSize bytes
    bool Play();
    bool Resume();
    bool Pause();
    bool Reset();
    bool Close();
    void HandleBuffer(unsigned notice);
    void ProccessThread();
    bool GetWaveOutName(int device, char* buffer); // buffer of at least 32 bytes
    void SetWaveFormaTex(const tWAVEFORMATEX& format);
    tWAVEFORMATEX GetWaveFormaTex() const { return m_format; }

    // "<operation>, <name of the result code>".
    static QString ErrorMessage(const char* operation, MMRESULT code);

private:
    bool IsClosed() const { return m_state.load() == Closed; }
    void Fail(const char* operation, MMRESULT code);
    bool Transport(const char* operation, State state, MMRESULT (IWaveOut::*call)());
    void StopWorker();
    void FreeSlots();

    ISoundSystem& m_sound;
    IMessageService& m_messages;
    std::atomic<State> m_state{Closed};
    std::unique_ptr<TWaveOutThread> m_worker;
    QRecursiveMutex m_lock;
    std::int32_t m_bufferSize = 4048;
    std::int32_t m_bufferCount = 4;
    std::int32_t m_writeIndex = 0;
    std::int32_t m_handledIndex = 0;
    std::int32_t m_queued = 0;
    std::vector<tWaveHdr> m_slots;
    std::vector<std::vector<char>> m_buffers;
    std::unique_ptr<IWaveOut> m_device; // declared after the slots: destroyed before them
    std::atomic<IWaveOut*> m_devicePtr{nullptr};
    std::uint16_t m_handleId = 0;
    std::int32_t m_triggerPosition = 8;
    std::atomic<bool> m_suppress{false};
    tWAVEFORMATEX m_format = PcmFormat(8000, 1, 16);
};
