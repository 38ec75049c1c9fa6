#include "WaveOut.h"

#include <QMutexLocker>

#include <cstring>
#include <exception>

void TWaveOutThread::run()
{
    while (!isInterruptionRequested())
        m_owner->ProccessThread();
}

TWaveOut::TWaveOut(QObject* owner, ISoundSystem& sound, IMessageService& messages)
    : QObject(owner), m_sound(sound), m_messages(messages)
{
}

TWaveOut::~TWaveOut()
{
    // Owners close first; whatever is still open is released by the members.
    StopWorker();
    m_devicePtr = nullptr;
}

QString TWaveOut::ErrorMessage(const char* operation, MMRESULT code)
{
    QString name;
    switch (code) {
    case MMSYSERR::BadDeviceId: name = QStringLiteral("MMSYSERR_BADDEVICEID"); break;
    case MMSYSERR::Allocated: name = QStringLiteral("MMSYSERR_ALLOCATED"); break;
    case MMSYSERR::InvalHandle: name = QStringLiteral("MMSYSERR_INVALHANDLE"); break;
    case MMSYSERR::NoDriver: name = QStringLiteral("MMSYSERR_NODRIVER"); break;
    case MMSYSERR::NoMem: name = QStringLiteral("MMSYSERR_NOMEM"); break;
    case WAVERR::BadFormat: name = QStringLiteral("WAVERR_BADFORMAT"); break;
    case WAVERR::StillPlaying: name = QStringLiteral("WAVERR_STILLPLAYING"); break;
    default: name = QStringLiteral("Undefined error : ") + QString::number(static_cast<std::uint16_t>(code)); break;
    }
    return QLatin1String(operation) + QStringLiteral(", ") + name;
}

void TWaveOut::Fail(const char* operation, MMRESULT code)
{
    m_messages.ShowMessage(ErrorMessage(operation, code));
}

std::uint32_t TWaveOut::PositionTime()
{
    IWaveOut* d = m_devicePtr.load();
    std::uint32_t v = 0;
    if (!d || d->GetPosition(PositionUnit::Samples, v) != MMSYSERR::NoError)
        return 0;
    return v;
}

std::uint32_t TWaveOut::Position()
{
    IWaveOut* d = m_devicePtr.load();
    std::uint32_t v = 0;
    if (!d || d->GetPosition(PositionUnit::Bytes, v) != MMSYSERR::NoError)
        return 0;
    return v;
}

void TWaveOut::SetBufferSize(std::int32_t value)
{
    if (value == m_bufferSize || !IsClosed() || value <= 16)
        return;
    m_bufferSize = value;
}

void TWaveOut::SetBufferCount(std::int32_t value)
{
    if (value == m_bufferCount || !IsClosed() || value <= 0)
        return;
    m_bufferCount = value;
    if (m_bufferCount < m_triggerPosition)
        m_triggerPosition = m_bufferCount - 1;
}

void TWaveOut::SetTriggerPosition(std::int32_t value)
{
    if (value == m_triggerPosition || !IsClosed() || value > m_bufferCount)
        return;
    m_triggerPosition = value;
}

std::int32_t TWaveOut::BufferFree()
{
    QMutexLocker lock(&m_lock);
    return m_bufferCount - m_queued;
}

std::int32_t TWaveOut::Queued()
{
    QMutexLocker lock(&m_lock);
    return m_queued;
}

void TWaveOut::SetnChannels(std::uint16_t value)
{
    if (value == m_format.nChannels || !IsClosed())
        return;
    m_format.nChannels = value;
    RecomputeFormat(m_format);
}

void TWaveOut::SetnSamplesPerSecond(std::uint32_t value)
{
    if (value == m_format.nSamplesPerSec || !IsClosed())
        return;
    m_format.nSamplesPerSec = value;
    RecomputeFormat(m_format);
}

void TWaveOut::SetnBitsPerSample(std::uint16_t value)
{
    if (value == m_format.wBitsPerSample || !IsClosed())
        return;
    m_format.wBitsPerSample = value;
    RecomputeFormat(m_format);
}

void TWaveOut::SetWaveFormaTex(const tWAVEFORMATEX& format)
{
    if (!IsClosed() || format == m_format)
        return;
    m_format = format;
    RecomputeFormat(m_format);
}

void TWaveOut::StopWorker()
{
    if (!m_worker)
        return;
    m_worker->requestInterruption();
    m_worker->wait();
    m_worker.reset();
}

void TWaveOut::FreeSlots()
{
    m_slots.clear();
    m_buffers.clear();
}

bool TWaveOut::Open(int device)
{
    if (m_worker)
        Close();
    // Whatever a failed Close left behind goes now, so the new ring starts clean.
    m_devicePtr = nullptr;
    m_device.reset();
    FreeSlots();

    m_slots.assign(static_cast<size_t>(m_bufferCount), tWaveHdr{});
    m_buffers.assign(static_cast<size_t>(m_bufferCount), std::vector<char>(static_cast<size_t>(m_bufferSize)));
    for (size_t i = 0; i < m_slots.size(); ++i) {
        m_slots[i].lpData = m_buffers[i].data();
        m_slots[i].dwBufferLength = static_cast<std::uint32_t>(m_bufferSize);
    }
    {
        QMutexLocker lock(&m_lock);
        m_writeIndex = m_handledIndex = m_queued = 0;
    }
    m_worker = std::make_unique<TWaveOutThread>(this);
    m_worker->start();

    const MMRESULT r = m_sound.WaveOutOpen(m_device, device, m_format);
    if (r != MMSYSERR::NoError) {
        QString text;
        WaveGetErrorText(r, text, 128);
        m_messages.ShowMessage(QStringLiteral("waveOutOpen Error -> ") + QString::number(r) +
                               QStringLiteral("\niIndex -> ") + QString::number(device) + QStringLiteral("\n") + text);
        Fail("xOpen", r);
        StopWorker();
        m_device.reset();
        FreeSlots();
        m_state = Closed;
        return false;
    }
    m_handleId = static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(m_device.get()) & 0xFFFF);
    m_devicePtr = m_device.get();
    const MMRESULT p = m_device->Pause();
    if (p != MMSYSERR::NoError) {
        Fail("Pause", p);
        StopWorker();
        m_devicePtr = nullptr;
        m_device.reset();
        FreeSlots();
        m_state = Closed;
        return false;
    }
    m_state = Opened;
    return true;
}

bool TWaveOut::Queue(const void* data)
{
    try {
        m_suppress = false;
        QMutexLocker lock(&m_lock);
        IWaveOut* d = m_devicePtr.load();
        if (!d || m_slots.empty())
            return false;
        if (m_queued == m_bufferCount) {
            // "Queue Full dwWriteIndex = %d, FBufferCount = %d, dwHandledIndex = %d" belongs here; not shown.
            return false;
        }
        tWaveHdr& h = m_slots[static_cast<size_t>(m_writeIndex)];
        if (h.dwFlags & WHDR::Prepared)
            d->UnprepareHeader(h);
        char* buffer = h.lpData;
        h = tWaveHdr{};
        h.lpData = buffer;
        std::memcpy(buffer, data, static_cast<size_t>(m_bufferSize));
        h.dwBufferLength = static_cast<std::uint32_t>(m_bufferSize);
        MMRESULT r = d->PrepareHeader(h);
        if (r != MMSYSERR::NoError) {
            Fail("PrepareHeader", r);
            return false;
        }
        r = d->Write(h);
        if (r != MMSYSERR::NoError) {
            Fail("Write", r);
            return false;
        }
        m_writeIndex = (m_writeIndex + 1) % m_bufferCount;
        ++m_queued;
        return true;
    } catch (const std::exception& e) {
        m_messages.ShowMessage(QString::fromLocal8Bit(e.what()));
        return false;
    }
}

// Play, Resume and Pause: one device call, the state set before it, the device's error shown.
bool TWaveOut::Transport(const char* operation, State state, MMRESULT (IWaveOut::*call)())
{
    IWaveOut* d = m_devicePtr.load();
    if (!d) {
        Fail(operation, MMSYSERR::InvalHandle);
        return false;
    }
    m_state = state;
    const MMRESULT r = (d->*call)();
    if (r != MMSYSERR::NoError) {
        Fail(operation, r);
        return false;
    }
    return true;
}

bool TWaveOut::Play()
{
    if (m_devicePtr.load())
        m_suppress = false;
    return Transport("Restart", Playing, &IWaveOut::Restart);
}

bool TWaveOut::Resume()
{
    return Transport("Restart", Playing, &IWaveOut::Restart);
}

bool TWaveOut::Pause()
{
    return Transport("Pause", Paused, &IWaveOut::Pause);
}

bool TWaveOut::Reset()
{
    try {
        IWaveOut* d = m_devicePtr.load();
        if (!d) {
            Fail("Reset", MMSYSERR::InvalHandle);
            return false;
        }
        m_suppress = true;
        m_state = Paused;
        MMRESULT r = d->Pause();
        if (r != MMSYSERR::NoError) {
            Fail("Pause", r);
            return false;
        }
        m_state = ResetState;
        r = d->Reset();
        if (r != MMSYSERR::NoError) {
            Fail("Reset", r);
            return false;
        }
        QMutexLocker lock(&m_lock);
        // The returned buffers' notices are dropped here, so that none of them can be
        // counted once a later Queue or Play lifts the suppression.
        tWaveHdr* stale = nullptr;
        while (d->TakeDone(stale)) {
        }
        m_writeIndex = m_handledIndex = m_queued = 0;
        return true;
    } catch (const std::exception& e) {
        m_messages.ShowError(QString::fromLocal8Bit(e.what()));
        return false;
    }
}

bool TWaveOut::Close()
{
    const State s = m_state.load();
    if (s == Closing || s == Closed)
        return true;
    m_state = Closing;
    StopWorker();
    bool ok = true;
    if (IWaveOut* d = m_devicePtr.load()) {
        MMRESULT r = d->Pause();
        if (r != MMSYSERR::NoError) {
            Fail("Pause", r);
            ok = false;
        }
        r = d->Reset();
        if (r != MMSYSERR::NoError) {
            Fail("Reset", r);
            ok = false;
        }
        r = d->Close();
        if (r != MMSYSERR::NoError) {
            Fail("Close", r);
            ok = false;
        }
        if (!ok)
            return false;
        for (tWaveHdr& h : m_slots)
            if (h.dwFlags & WHDR::Prepared)
                d->UnprepareHeader(h);
    }
    m_devicePtr = nullptr;
    m_device.reset();
    FreeSlots();
    {
        QMutexLocker lock(&m_lock);
        m_writeIndex = m_handledIndex = m_queued = 0;
    }
    m_state = Closed;
    return true;
}

void TWaveOut::HandleBuffer(unsigned /*notice*/)
{
    QMutexLocker lock(&m_lock);
    if (m_queued == 0)
        return;
    m_handledIndex = (m_handledIndex + 1) % m_bufferCount;
    --m_queued;
    if (m_queued < m_triggerPosition && m_state.load() == Playing) {
        if (OnBufferTrigger)
            OnBufferTrigger(this);
        if (m_queued == 0 && OnFinish)
            OnFinish(this);
    }
}

void TWaveOut::ProccessThread()
{
    try {
        IWaveOut* d = m_devicePtr.load();
        tWaveHdr* done = nullptr;
        if (d && d->TakeDone(done) && !m_suppress.load())
            HandleBuffer(MM_WOM_DONE);
    } catch (...) {
        // Errors on the worker are swallowed; the next pass tries again.
    }
    QThread::msleep(kPollIntervalMs);
}

bool TWaveOut::GetWaveOutName(int device, char* buffer)
{
    QString name;
    const MMRESULT r = m_sound.WaveOutGetDevCaps(device, name);
    if (r != MMSYSERR::NoError) {
        Fail("DevCaps", r);
        return false;
    }
    const QByteArray bytes = name.toLocal8Bit().left(kMaxPnameLen - 1);
    std::memcpy(buffer, bytes.constData(), static_cast<size_t>(bytes.size()));
    buffer[bytes.size()] = '\0';
    return true;
}
