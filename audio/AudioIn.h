#pragma once
// Capture from a wave-input device into a ring of 16 equal buffers, one kept free.
//
//   TRecorder rec(owner, sound, messages);
//   rec.SetAutoStart(false);                     // before the event loop runs
//   rec.OnSample = [&](QObject*) { use(rec.CurrentData(), rec.BytesRecorded()); };
//   rec.Quality()->SetFrequency(8000); rec.Quality()->SetBitsPerSample(16);
//   rec.SetBufSize(2048);                        // 4096-byte buffers, one every 256 ms
//   if (rec.CanOpen()) rec.StartCapture();       // may throw EInOutError
//   ... rec.StopCapture();
//
// The device's notices (open, data, close) and the start request are posted as events
// to a hidden notice object owned by the recorder and handled on its thread in the
// order they were posted: BufferDone, the sample handlers and OnSample all run inside
// the event loop. The consumer reads the buffer last completed in OnSample while 15
// others are with the device; that buffer is re-armed at the next notice.

#include "MessageService.h"
#include "SoundSystem.h"

#include <QHash>
#include <QObject>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

// An event bound to an object, called with the raising component first.
using TNotifyEvent = std::function<void(QObject* Sender)>;

// The exception for a capture device that cannot be opened.
class EInOutError : public std::runtime_error
{
public:
    explicit EInOutError(const QString& message) : std::runtime_error(message.toStdString()) {}
    static const char* ClassName() { return "EInOutError"; }
};

// The persistent choice of input device; -1 is the system's default device.
class TWaveInDeviceID final : public QObject
{
    Q_OBJECT
public:
    explicit TWaveInDeviceID(QObject* owner = nullptr) : QObject(owner) {}

    std::int32_t id() const { return m_id; }
    void Setid(std::int32_t value);
    void Assign(const TWaveInDeviceID& source) { Setid(source.id()); }

    TNotifyEvent OnChange;

private:
    std::int32_t m_id = -1;
};

// The persistent capture format.
class TAudioLineParameters final : public QObject
{
    Q_OBJECT
public:
    explicit TAudioLineParameters(QObject* owner = nullptr) : QObject(owner) {}

    std::int32_t Channels() const { return m_channels; }
    void SetChannels(std::int32_t value);
    std::int32_t Frequency() const { return m_frequency; }
    void SetFrequency(std::int32_t value);
    std::int32_t BitsPerSample() const { return m_bits; }
    void SetBitsPerSample(std::int32_t value);
    // Copies the three values through the setters (OnChange may fire three times).
    void Assign(const TAudioLineParameters& source);

    TNotifyEvent OnChange;

private:
    void Changed();

    std::int32_t m_channels = 1;
    std::int32_t m_frequency = 11025;
    std::int32_t m_bits = 8;
};

class TRecorder;

// Kinds of capture notices passed to the sample handlers.
namespace SampleKind {
inline constexpr int Data = 0;
inline constexpr int Close = 1;
inline constexpr int Open = 2;
} // namespace SampleKind

// A method bound to an object, called with (recorder, kind). Two handlers are equal
// when they name the same method of the same object.
class TSampleHandler
{
public:
    TSampleHandler() = default;
    template <class T>
    TSampleHandler(T* object, void (T::*method)(TRecorder* Sender, int Kind))
        : m_object(object), m_impl(std::make_shared<Impl<T>>(object, method))
    {
    }

    QObject* Object() const { return m_object; }
    bool IsEmpty() const { return !m_impl; }
    void operator()(TRecorder* sender, int kind) const
    {
        if (m_impl)
            m_impl->Call(sender, kind);
    }
    bool operator==(const TSampleHandler& o) const
    {
        return m_impl && o.m_impl && m_object == o.m_object && m_impl->Equals(*o.m_impl);
    }

private:
    struct Base
    {
        virtual ~Base() = default;
        virtual void Call(TRecorder* sender, int kind) const = 0;
        virtual bool Equals(const Base& other) const = 0;
    };
    template <class T> struct Impl final : Base
    {
        Impl(T* o, void (T::*m)(TRecorder*, int)) : object(o), method(m) {}
        void Call(TRecorder* sender, int kind) const override { (object->*method)(sender, kind); }
        bool Equals(const Base& other) const override
        {
            const auto* p = dynamic_cast<const Impl*>(&other);
            return p && p->object == object && p->method == method;
        }
        T* object;
        void (T::*method)(TRecorder*, int);
    };

    QObject* m_object = nullptr;
    std::shared_ptr<const Base> m_impl;
};

class TRecorder : public QObject
{
    Q_OBJECT
public:
    static constexpr std::int32_t kSlotCount = 16;
    static constexpr int kHandlerPlaces = 8;

    // The recorder and its notice object live on the calling thread; the start request
    // is posted at once (see AutoStart).
    TRecorder(QObject* owner, ISoundSystem& sound, IMessageService& messages);
    ~TRecorder() override;

    // Properties.
    TWaveInDeviceID* Device() const { return m_device.get(); }
    void SetDevice(TWaveInDeviceID* value); // takes the object over, frees the previous one
    TAudioLineParameters* Quality() const { return m_quality.get(); }
    void SetQuality(TAudioLineParameters* value);
    std::int32_t BufSize() const { return m_bufSize; }
    void SetBufSize(std::int32_t value); // closes the device: the next start reopens
    std::uint32_t SamplePos();           // opens the device if needed (may throw)
    bool AutoStart() const { return m_autoStart; }
    void SetAutoStart(bool value) { m_autoStart = value; }
    TNotifyEvent OnSample;

    // What the last data notice completed; valid until OnSample returns.
    const char* CurrentData() const { return m_currentData; }
    std::uint32_t BytesRecorded() const { return m_bytesRecorded; }
    std::uint32_t SamplesRecorded() const { return m_samplesRecorded; }
    std::int32_t FrameBytes() const { return m_frameBytes; }
    std::int32_t BufferBytes() const { return m_bufferBytes; }
    std::int32_t CurrentIndex() const { return m_currentIndex; }
    const tWaveHdr& Header(int slot) const { return m_headers.at(static_cast<std::size_t>(slot)); }
    bool Opened() const { return m_opened; }
    bool Active() const { return m_active; }
    bool HasDevice() const { return m_handle != nullptr; }

    // Operations.
    virtual MMRESULT StartCapture();
    virtual void StopCapture();
    virtual void ResetCapture();
    virtual void BufferDone();
    virtual void AddSampleHandler(const TSampleHandler& handler);
    virtual void RemoveSampleHandler(const TSampleHandler& handler);
    virtual std::uint32_t DeviceCount();
    virtual bool CanOpen();
    virtual bool CanOpenFormat(std::int32_t frequency, std::int32_t channels, std::int32_t bits);
    enum class Operation { Insert, Remove };
    // A component was removed: clears every handler place bound to it.
    virtual void Notification(QObject* component, Operation operation);

    IWaveIn* EnsureOpen(); // may throw EInOutError
    void CloseDevice();

    const std::array<TSampleHandler, kHandlerPlaces>& SampleHandlers() const { return m_handlers; }

    // The text for a device result code, as the exceptions and boxes show it.
    static QString ErrorText(MMRESULT code);

private:
    friend class TRecorderNotice;
    // A notice as the device or the constructor posted it.
    void HandleNotice(std::uint32_t message, std::uint64_t session);
    void CallHandlers(int kind);
    void AutoStartRequest();

    ISoundSystem& m_sound;
    IMessageService& m_messages;

    std::int32_t m_frameBytes = 0;
    std::int32_t m_bufferBytes = 0;
    std::int32_t m_currentIndex = 0;
    const std::int32_t m_slotCount = kSlotCount;
    std::vector<char> m_block;
    std::array<tWaveHdr, kSlotCount> m_headers{};
    QObject* m_notice = nullptr; // hidden receiver of the notices
    std::array<TSampleHandler, kHandlerPlaces> m_handlers{};
    std::unique_ptr<TWaveInDeviceID> m_device;
    std::unique_ptr<TAudioLineParameters> m_quality;
    std::int32_t m_bufSize = 256;
    bool m_opened = false;
    bool m_active = false;
    bool m_autoStart = true;
    std::unique_ptr<IWaveIn> m_handle;
    const char* m_currentData = nullptr;
    std::uint32_t m_bytesRecorded = 0;
    std::uint32_t m_samplesRecorded = 0;
    // Each open of the device is a session; data notices of a closed session are
    // dropped, because the buffers they name are gone.
    std::uint64_t m_session = 0;
    bool m_rearmFailureShown = false;
    QHash<QObject*, QMetaObject::Connection> m_watched; // handler objects, told on destruction
};
