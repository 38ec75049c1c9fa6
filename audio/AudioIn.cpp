#include "AudioIn.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include <typeinfo>
#if defined(__GNUG__)
#include <cstdlib>
#include <cxxabi.h>
#endif

namespace {

// Message numbers of the notices; the start request is the first user message.
constexpr std::uint32_t kNoticeOpen = static_cast<std::uint32_t>(WaveInMsg::Open);
constexpr std::uint32_t kNoticeClose = static_cast<std::uint32_t>(WaveInMsg::Close);
constexpr std::uint32_t kNoticeData = static_cast<std::uint32_t>(WaveInMsg::Data);
constexpr std::uint32_t kStartRequest = 0x400;

// Largest buffer the recorder allocates (16 of them make the block).
constexpr std::int64_t kMaxBufferBytes = 16 * 1024 * 1024;

const QEvent::Type kNoticeEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class TNoticeEvent final : public QEvent
{
public:
    TNoticeEvent(std::uint32_t message, std::uint64_t session)
        : QEvent(kNoticeEventType), message(message), session(session)
    {
    }
    const std::uint32_t message;
    const std::uint64_t session;
};

QString ExceptionClassName(const std::exception& e)
{
    if (dynamic_cast<const EInOutError*>(&e))
        return QLatin1String(EInOutError::ClassName());
    const char* raw = typeid(e).name();
#if defined(__GNUG__)
    int status = 0;
    char* demangled = abi::__cxa_demangle(raw, nullptr, nullptr, &status);
    if (status == 0 && demangled) {
        const QString name = QString::fromLatin1(demangled);
        std::free(demangled);
        return name;
    }
    std::free(demangled);
#endif
    return QString::fromLatin1(raw);
}

tWAVEFORMATEX CaptureFormat(std::int32_t frequency, std::int32_t channels, std::int32_t bits)
{
    tWAVEFORMATEX f;
    f.wFormatTag = WaveTag::Pcm;
    f.nChannels = static_cast<std::uint16_t>(channels);
    f.nSamplesPerSec = static_cast<std::uint32_t>(frequency);
    f.wBitsPerSample = static_cast<std::uint16_t>(bits);
    f.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = static_cast<std::uint32_t>(static_cast<std::int64_t>(frequency) * channels * bits / 8);
    f.cbSize = 0;
    return f;
}

bool PlausibleFormat(std::int32_t frequency, std::int32_t channels, std::int32_t bits)
{
    return frequency > 0 && channels > 0 && channels <= 0xFFFF && bits > 0 && bits <= 0xFFFF;
}

} // namespace

// The hidden receiver of the device's notices; hands them to its recorder.
class TRecorderNotice final : public QObject
{
public:
    explicit TRecorderNotice(TRecorder* owner) : m_owner(owner) {}

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == kNoticeEventType) {
            const auto* n = static_cast<TNoticeEvent*>(e);
            m_owner->HandleNotice(n->message, n->session);
            return true;
        }
        return QObject::event(e);
    }

private:
    TRecorder* m_owner;
};

// --- TWaveInDeviceID, TAudioLineParameters -------------------------------------------

void TWaveInDeviceID::Setid(std::int32_t value)
{
    if (value == m_id)
        return;
    m_id = value;
    if (OnChange)
        OnChange(this);
}

void TAudioLineParameters::Changed()
{
    if (OnChange)
        OnChange(this);
}

void TAudioLineParameters::SetChannels(std::int32_t value)
{
    if (value == m_channels)
        return;
    m_channels = value;
    Changed();
}

void TAudioLineParameters::SetFrequency(std::int32_t value)
{
    if (value == m_frequency)
        return;
    m_frequency = value;
    Changed();
}

void TAudioLineParameters::SetBitsPerSample(std::int32_t value)
{
    if (value == m_bits)
        return;
    m_bits = value;
    Changed();
}

void TAudioLineParameters::Assign(const TAudioLineParameters& source)
{
    SetChannels(source.Channels());
    SetFrequency(source.Frequency());
    SetBitsPerSample(source.BitsPerSample());
}

// --- TRecorder ------------------------------------------------------------------------

TRecorder::TRecorder(QObject* owner, ISoundSystem& sound, IMessageService& messages)
    : QObject(owner), m_sound(sound), m_messages(messages), m_notice(new TRecorderNotice(this)),
      m_device(std::make_unique<TWaveInDeviceID>()), m_quality(std::make_unique<TAudioLineParameters>())
{
    // The automatic start happens once the event loop runs, after the owner had the
    // chance to change the properties.
    QCoreApplication::postEvent(m_notice, new TNoticeEvent(kStartRequest, 0));
}

TRecorder::~TRecorder()
{
    if (m_handle) {
        StopCapture();
        CloseDevice();
    }
    delete m_notice; // pending notices go with it
    m_notice = nullptr;
}

void TRecorder::SetDevice(TWaveInDeviceID* value)
{
    if (value == m_device.get())
        return;
    m_device.reset(value ? value : new TWaveInDeviceID);
}

void TRecorder::SetQuality(TAudioLineParameters* value)
{
    if (value == m_quality.get())
        return;
    m_quality.reset(value ? value : new TAudioLineParameters);
}

void TRecorder::SetBufSize(std::int32_t value)
{
    m_bufSize = value;
    CloseDevice();
}

std::uint32_t TRecorder::SamplePos()
{
    IWaveIn* in = EnsureOpen();
    std::uint32_t pos = 0;
    if (in)
        in->GetPosition(PositionUnit::Samples, pos);
    return pos;
}

QString TRecorder::ErrorText(MMRESULT code)
{
    QString text;
    switch (WaveGetErrorText(code, text, 260)) {
    case MMSYSERR::NoDriver:
        return QStringLiteral("No driver present");
    case MMSYSERR::NoMem:
        return QStringLiteral("Unable to allocate or lock memory");
    case MMSYSERR::BadErrNum:
        return QStringLiteral("MMERR_???");
    default:
        return text;
    }
}

IWaveIn* TRecorder::EnsureOpen()
{
    if (m_handle || m_opened)
        return m_handle.get();
    m_opened = true;

    const std::int32_t channels = m_quality->Channels();
    const std::int32_t bits = m_quality->BitsPerSample();
    const std::int32_t frequency = m_quality->Frequency();
    const std::int64_t frameBytes = static_cast<std::int64_t>(channels) * bits / 8;
    const std::int64_t bufferBytes = static_cast<std::int64_t>(channels) * m_bufSize * bits / 8;
    m_frameBytes = static_cast<std::int32_t>(frameBytes);
    m_bufferBytes = bufferBytes > 0 && bufferBytes <= kMaxBufferBytes ? static_cast<std::int32_t>(bufferBytes) : 0;

    const tWAVEFORMATEX format = CaptureFormat(frequency, channels, bits);
    std::unique_ptr<IWaveIn> none;
    MMRESULT r = PlausibleFormat(frequency, channels, bits) ? m_sound.WaveInOpen(none, m_device->id(), format, nullptr)
                                                            : static_cast<MMRESULT>(WAVERR::BadFormat);
    if (r != MMSYSERR::NoError)
        throw EInOutError(QStringLiteral("waveInOpenQuery: ") + ErrorText(r));
    if (m_bufferBytes == 0) // a buffer size the device cannot be given
        throw EInOutError(QStringLiteral("waveInOpen: ") + ErrorText(MMSYSERR::InvalParam));

    m_block.assign(static_cast<std::size_t>(m_slotCount) * static_cast<std::size_t>(m_bufferBytes), '\0');
    const std::uint64_t session = ++m_session;
    const QPointer<QObject> notice(m_notice);
    const WaveInNotify notify = [notice, session](WaveInMsg msg, tWaveHdr*) {
        if (notice)
            QCoreApplication::postEvent(notice, new TNoticeEvent(static_cast<std::uint32_t>(msg), session));
    };
    r = m_sound.WaveInOpen(m_handle, m_device->id(), format, notify);
    if (r != MMSYSERR::NoError) {
        m_handle.reset();
        m_block.clear();
        m_block.shrink_to_fit();
        throw EInOutError(QStringLiteral("waveInOpen: ") + ErrorText(r));
    }

    // 15 of the 16 slots go to the device; the last stays free for the consumer.
    m_headers.fill(tWaveHdr{});
    for (int i = 0; i < m_slotCount - 1; ++i) {
        tWaveHdr& h = m_headers[static_cast<std::size_t>(i)];
        h.lpData = m_block.data() + static_cast<std::ptrdiff_t>(i) * m_bufferBytes;
        h.dwBufferLength = static_cast<std::uint32_t>(m_bufferBytes);
        if (m_handle->PrepareHeader(h) == MMSYSERR::NoError)
            m_handle->AddBuffer(h);
    }
    m_rearmFailureShown = false;
    return m_handle.get();
}

void TRecorder::CloseDevice()
{
    m_opened = false;
    if (m_handle) {
        m_handle->Reset();
        for (tWaveHdr& h : m_headers) {
            if (h.dwFlags & WHDR::Prepared)
                m_handle->UnprepareHeader(h);
        }
        m_handle->Close();
        m_handle.reset();
        m_active = false;
    }
    ++m_session; // notices of the closed device name buffers that are gone
    m_headers.fill(tWaveHdr{});
    m_block.clear();
    m_block.shrink_to_fit();
    m_currentData = nullptr;
    m_bytesRecorded = 0;
    m_samplesRecorded = 0;
}

MMRESULT TRecorder::StartCapture()
{
    // A fresh open queues the slots from 0. A stopped device that is still open keeps
    // its queue, so the ring goes on where it stands.
    if (!m_handle)
        m_currentIndex = 0;
    IWaveIn* in = EnsureOpen();
    const MMRESULT r = in ? in->Start() : static_cast<MMRESULT>(MMSYSERR::InvalHandle);
    m_active = r == MMSYSERR::NoError;
    return r;
}

void TRecorder::StopCapture()
{
    if (m_handle)
        m_handle->Stop();
    m_active = false;
    m_opened = false;
}

void TRecorder::ResetCapture()
{
    if (m_handle)
        m_handle->Reset();
    m_active = false;
    m_opened = false;
}

void TRecorder::BufferDone()
{
    if (!m_handle || m_bufferBytes <= 0)
        return;
    const int c = m_currentIndex;
    tWaveHdr& done = m_headers[static_cast<std::size_t>(c)];
    if (!(done.dwFlags & WHDR::Done))
        return;
    m_currentIndex = (c + 1) % m_slotCount;
    const int b = (c + m_slotCount - 1) % m_slotCount; // the free slot
    m_handle->UnprepareHeader(done);

    // Re-arm the free slot at its own place with the full buffer size. (Every buffer
    // keeps the size of the open: shrinking 256-byte buffers to 255 would place them
    // at b x 255, across buffers still queued at their k x 256 places.)
    tWaveHdr& rearm = m_headers[static_cast<std::size_t>(b)];
    rearm = tWaveHdr{};
    rearm.lpData = m_block.data() + static_cast<std::ptrdiff_t>(b) * m_bufferBytes;
    rearm.dwBufferLength = static_cast<std::uint32_t>(m_bufferBytes);
    MMRESULT r = m_handle->PrepareHeader(rearm);
    if (r == MMSYSERR::NoError)
        r = m_handle->AddBuffer(rearm);
    if (r != MMSYSERR::NoError && !m_rearmFailureShown) {
        // Once per open: a failing device would otherwise show it for every buffer.
        m_rearmFailureShown = true;
        m_messages.ShowMessage(QStringLiteral("Error??"));
    }

    m_currentData = done.lpData;
    m_bytesRecorded = done.dwBytesRecorded;
    m_samplesRecorded = m_frameBytes > 0 ? m_bytesRecorded / static_cast<std::uint32_t>(m_frameBytes) : 0;
}

void TRecorder::HandleNotice(std::uint32_t message, std::uint64_t session)
{
    switch (message) {
    case kNoticeData:
        if (session != m_session || !m_handle)
            return; // a buffer of a device closed since
        BufferDone();
        CallHandlers(SampleKind::Data);
        if (OnSample)
            OnSample(this);
        return;
    case kNoticeOpen:
        CallHandlers(SampleKind::Open);
        return;
    case kNoticeClose:
        CallHandlers(SampleKind::Close);
        return;
    case kStartRequest:
        AutoStartRequest();
        return;
    default:
        return;
    }
}

void TRecorder::AutoStartRequest()
{
    if (!m_autoStart)
        return;
    try {
        StartCapture();
    } catch (const std::exception& e) {
        m_messages.Ask(ExceptionClassName(e) + QLatin1Char(' ') + QString::fromStdString(e.what()),
                       QStringLiteral("AudioIn auto-start"), MsgIcon::Error, MsgButtons::Ok);
    }
}

void TRecorder::CallHandlers(int kind)
{
    // A handler may remove others (or have its object destroyed) while this runs;
    // each place is read when its turn comes.
    for (int i = 0; i < kHandlerPlaces; ++i) {
        const TSampleHandler h = m_handlers[static_cast<std::size_t>(i)];
        if (!h.IsEmpty())
            h(this, kind);
    }
}

void TRecorder::AddSampleHandler(const TSampleHandler& handler)
{
    if (handler.IsEmpty())
        return;
    for (int i = kHandlerPlaces - 1; i >= 0; --i) {
        TSampleHandler& place = m_handlers[static_cast<std::size_t>(i)];
        if (!place.IsEmpty())
            continue;
        place = handler;
        QObject* o = handler.Object();
        if (o && !m_watched.contains(o))
            m_watched.insert(o, connect(o, &QObject::destroyed, this,
                                        [this](QObject* gone) { Notification(gone, Operation::Remove); }));
        return;
    }
}

void TRecorder::RemoveSampleHandler(const TSampleHandler& handler)
{
    QObject* o = handler.Object();
    for (TSampleHandler& place : m_handlers) {
        if (place == handler)
            place = TSampleHandler();
    }
    if (!o)
        return;
    for (const TSampleHandler& place : m_handlers) {
        if (place.Object() == o)
            return; // still watched for its other places
    }
    disconnect(m_watched.take(o));
}

void TRecorder::Notification(QObject* component, Operation operation)
{
    if (operation != Operation::Remove || !component)
        return;
    for (TSampleHandler& place : m_handlers) {
        if (place.Object() == component)
            place = TSampleHandler();
    }
    m_watched.remove(component);
}

std::uint32_t TRecorder::DeviceCount()
{
    return m_sound.WaveInNumDevs();
}

bool TRecorder::CanOpen()
{
    return CanOpenFormat(m_quality->Frequency(), m_quality->Channels(), m_quality->BitsPerSample());
}

bool TRecorder::CanOpenFormat(std::int32_t frequency, std::int32_t channels, std::int32_t bits)
{
    if (!PlausibleFormat(frequency, channels, bits))
        return false;
    std::unique_ptr<IWaveIn> none;
    return m_sound.WaveInOpen(none, m_device->id(), CaptureFormat(frequency, channels, bits), nullptr) ==
           MMSYSERR::NoError;
}
