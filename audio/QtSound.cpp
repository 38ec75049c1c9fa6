#include "QtSound.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <QMutex>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <deque>

namespace {

bool ToQt(const tWAVEFORMATEX& f, QAudioFormat& q)
{
    if (f.wFormatTag != WaveTag::Pcm || (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) || f.nChannels == 0 ||
        f.nSamplesPerSec == 0 || f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8)
        return false;
    q.setSampleRate(static_cast<int>(f.nSamplesPerSec));
    q.setChannelCount(f.nChannels);
    q.setSampleFormat(f.wBitsPerSample == 16 ? QAudioFormat::Int16 : QAudioFormat::UInt8);
    return true;
}

MMRESULT Pick(const QList<QAudioDevice>& list, const QAudioDevice& def, int device, QAudioDevice& out)
{
    if (device == WAVE_MAPPER) {
        if (def.isNull())
            return list.isEmpty() ? MMSYSERR::NoDriver : (out = list.first(), MMSYSERR::NoError);
        out = def;
        return MMSYSERR::NoError;
    }
    if (device < 0 || device >= list.size())
        return MMSYSERR::BadDeviceId;
    out = list.at(device);
    return MMSYSERR::NoError;
}

// The queue the sink pulls from; shared by the worker (writes) and the audio thread (reads).
class PullQueue final : public QIODevice
{
public:
    QMutex mutex;
    std::deque<tWaveHdr*> queue;                            // waiting to be read by the sink
    std::deque<std::pair<tWaveHdr*, std::uint64_t>> taken; // read; played once the sink passes the offset
    std::deque<tWaveHdr*> done;
    std::uint32_t frontOffset = 0;
    std::uint64_t takenBytes = 0; // bytes read by the sink since the start or the last reset

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        QMutexLocker lock(&const_cast<PullQueue*>(this)->mutex);
        qint64 n = 0;
        for (const tWaveHdr* h : queue)
            n += h->dwBufferLength;
        return n - frontOffset + QIODevice::bytesAvailable();
    }
    static void MarkDone(tWaveHdr* h) { h->dwFlags = (h->dwFlags | WHDR::Done) & ~WHDR::InQueue; }
    // Everything comes back at once (reset).
    void ReturnAll()
    {
        for (auto& t : taken) {
            MarkDone(t.first);
            done.push_back(t.first);
        }
        taken.clear();
        for (tWaveHdr* h : queue) {
            MarkDone(h);
            done.push_back(h);
        }
        queue.clear();
        frontOffset = 0;
        takenBytes = 0;
    }
    // Buffers the sink has played up to 'played' bytes are done.
    void Played(std::uint64_t played)
    {
        while (!taken.empty() && taken.front().second <= played) {
            MarkDone(taken.front().first);
            done.push_back(taken.front().first);
            taken.pop_front();
        }
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        QMutexLocker lock(&mutex);
        qint64 n = 0;
        while (n < maxSize && !queue.empty()) {
            tWaveHdr* h = queue.front();
            const qint64 take = std::min<qint64>(maxSize - n, h->dwBufferLength - frontOffset);
            std::memcpy(data + n, h->lpData + frontOffset, static_cast<size_t>(take));
            n += take;
            takenBytes += static_cast<std::uint64_t>(take);
            frontOffset += static_cast<std::uint32_t>(take);
            if (frontOffset >= h->dwBufferLength) {
                queue.pop_front();
                frontOffset = 0;
                taken.emplace_back(h, takenBytes);
            }
        }
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }
};

class QtWaveOut final : public IWaveOut
{
public:
    QtWaveOut(const QAudioDevice& dev, const QAudioFormat& fmt, const tWAVEFORMATEX& wf) : m_format(wf)
    {
        m_thread.setObjectName(QStringLiteral("wave-out"));
        m_thread.start();
        m_context = new QObject;
        m_context->moveToThread(&m_thread);
        OnAudio([&] {
            m_sink = new QAudioSink(dev, fmt, m_context);
            m_sink->setBufferSize(static_cast<qsizetype>(wf.nAvgBytesPerSec / 10)); // 100 ms
            m_io.open(QIODevice::ReadOnly);
            m_sink->start(&m_io);
            m_started = m_sink->error() == QAudio::NoError;
            // The sink reads ahead of what is heard; a buffer is done once it has been played.
            m_tick = new QTimer(m_context);
            m_tick->setInterval(10);
            QObject::connect(m_tick, &QTimer::timeout, m_context, [this] { Tick(); });
            m_tick->start();
        });
    }
    ~QtWaveOut() override
    {
        if (!m_closed) {
            Reset();
            Close();
        }
        OnAudio([&] { delete m_context; });
        m_thread.quit();
        m_thread.wait();
    }

    MMRESULT PrepareHeader(tWaveHdr& h) override
    {
        if (!h.lpData || h.dwBufferLength == 0)
            return MMSYSERR::InvalParam;
        h.dwFlags |= WHDR::Prepared;
        return MMSYSERR::NoError;
    }
    MMRESULT UnprepareHeader(tWaveHdr& h) override
    {
        QMutexLocker lock(&m_io.mutex);
        if (h.dwFlags & WHDR::InQueue)
            return WAVERR::StillPlaying;
        h.dwFlags &= ~WHDR::Prepared;
        return MMSYSERR::NoError;
    }
    MMRESULT Write(tWaveHdr& h) override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        if (!(h.dwFlags & WHDR::Prepared))
            return WAVERR::Unprepared;
        QMutexLocker lock(&m_io.mutex);
        h.dwFlags = (h.dwFlags | WHDR::InQueue) & ~WHDR::Done;
        m_io.queue.push_back(&h);
        return MMSYSERR::NoError;
    }
    MMRESULT Pause() override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        OnAudio([&] {
            if (m_sink->state() != QAudio::StoppedState)
                m_sink->suspend();
        });
        m_paused = true;
        return MMSYSERR::NoError;
    }
    MMRESULT Restart() override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        MMRESULT r = MMSYSERR::NoError;
        OnAudio([&] {
            if (m_sink->state() == QAudio::StoppedState) {
                m_sink->start(&m_io);
            } else {
                m_sink->resume();
            }
            if (m_sink->error() == QAudio::OpenError || m_sink->error() == QAudio::FatalError)
                r = MMSYSERR::Error;
        });
        m_paused = false;
        return r;
    }
    MMRESULT Reset() override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        OnAudio([&] {
            m_sink->stop();
            {
                QMutexLocker lock(&m_io.mutex);
                m_io.ReturnAll();
            }
            if (!m_paused)
                m_sink->start(&m_io);
        });
        return MMSYSERR::NoError;
    }
    MMRESULT Close() override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        {
            QMutexLocker lock(&m_io.mutex);
            if (!m_io.queue.empty() || !m_io.taken.empty())
                return WAVERR::StillPlaying;
        }
        OnAudio([&] {
            m_tick->stop();
            m_sink->stop();
        });
        m_closed = true;
        return MMSYSERR::NoError;
    }
    MMRESULT GetPosition(PositionUnit unit, std::uint32_t& value) override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        qint64 us = 0;
        OnAudio([&] { us = m_sink->processedUSecs(); });
        const std::uint64_t frames = static_cast<std::uint64_t>(us) * m_format.nSamplesPerSec / 1000000ULL;
        value = static_cast<std::uint32_t>(unit == PositionUnit::Samples ? frames : frames * m_format.nBlockAlign);
        return MMSYSERR::NoError;
    }
    bool TakeDone(tWaveHdr*& header) override
    {
        QMutexLocker lock(&m_io.mutex);
        if (m_io.done.empty())
            return false;
        header = m_io.done.front();
        m_io.done.pop_front();
        return true;
    }
    bool Started() const { return m_started; }

private:
    void Tick()
    {
        const QAudio::State st = m_sink->state();
        const std::uint64_t us = static_cast<std::uint64_t>(std::max<qint64>(0, m_sink->processedUSecs()));
        const std::uint64_t played = us * m_format.nSamplesPerSec / 1000000ULL * m_format.nBlockAlign;
        QMutexLocker lock(&m_io.mutex);
        // Idle: the sink ran out of data, so whatever it read has been played.
        m_io.Played(st == QAudio::IdleState && m_io.queue.empty() ? m_io.takenBytes : played);
    }

    template <class F> void OnAudio(F f)
    {
        if (QThread::currentThread() == &m_thread)
            f();
        else
            QMetaObject::invokeMethod(m_context, f, Qt::BlockingQueuedConnection);
    }

    const tWAVEFORMATEX m_format;
    QThread m_thread;
    QObject* m_context = nullptr;
    QAudioSink* m_sink = nullptr;
    QTimer* m_tick = nullptr;
    PullQueue m_io;
    bool m_started = false;
    bool m_paused = false;
    bool m_closed = false;
};

class QtWaveIn final : public IWaveIn
{
public:
    QtWaveIn(const QAudioDevice& dev, const QAudioFormat& fmt, const tWAVEFORMATEX& wf, WaveInNotify notify)
        : m_format(wf), m_notify(std::move(notify)), m_context(new QObject)
    {
        m_source = new QAudioSource(dev, fmt, m_context);
        Post(WaveInMsg::Open, nullptr);
    }
    ~QtWaveIn() override
    {
        if (!m_closed) {
            Reset();
            Close();
        }
        m_context->deleteLater(); // after the notices already posted
    }

    MMRESULT PrepareHeader(tWaveHdr& h) override
    {
        if (!h.lpData || h.dwBufferLength == 0)
            return MMSYSERR::InvalParam;
        h.dwFlags |= WHDR::Prepared;
        return MMSYSERR::NoError;
    }
    MMRESULT UnprepareHeader(tWaveHdr& h) override
    {
        if (h.dwFlags & WHDR::InQueue)
            return WAVERR::StillPlaying;
        h.dwFlags &= ~WHDR::Prepared;
        return MMSYSERR::NoError;
    }
    MMRESULT AddBuffer(tWaveHdr& h) override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        if (!(h.dwFlags & WHDR::Prepared))
            return WAVERR::Unprepared;
        h.dwFlags = (h.dwFlags | WHDR::InQueue) & ~WHDR::Done;
        h.dwBytesRecorded = 0;
        m_queue.push_back(&h);
        return MMSYSERR::NoError;
    }
    MMRESULT Start() override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        if (m_io)
            return MMSYSERR::NoError;
        m_io = m_source->start();
        if (!m_io)
            return MMSYSERR::Error;
        QObject::connect(m_io, &QIODevice::readyRead, m_context, [this] { Pull(); });
        return MMSYSERR::NoError;
    }
    MMRESULT Stop() override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        if (m_io) {
            Pull();
            m_source->stop();
            m_io = nullptr;
        }
        if (!m_queue.empty() && m_queue.front()->dwBytesRecorded > 0)
            Return();
        return MMSYSERR::NoError;
    }
    MMRESULT Reset() override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        if (m_io) {
            m_source->stop();
            m_io = nullptr;
        }
        while (!m_queue.empty())
            Return();
        m_bytes = 0;
        return MMSYSERR::NoError;
    }
    MMRESULT Close() override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        if (!m_queue.empty())
            return WAVERR::StillPlaying;
        m_closed = true;
        Post(WaveInMsg::Close, nullptr);
        return MMSYSERR::NoError;
    }
    MMRESULT GetPosition(PositionUnit unit, std::uint32_t& value) override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        value = static_cast<std::uint32_t>(unit == PositionUnit::Bytes ? m_bytes : m_bytes / m_format.nBlockAlign);
        return MMSYSERR::NoError;
    }

private:
    void Post(WaveInMsg msg, tWaveHdr* h)
    {
        WaveInNotify notify = m_notify;
        QMetaObject::invokeMethod(m_context, [notify, msg, h] { notify(msg, h); }, Qt::QueuedConnection);
    }
    void Return()
    {
        tWaveHdr* h = m_queue.front();
        m_queue.pop_front();
        h->dwFlags = (h->dwFlags | WHDR::Done) & ~WHDR::InQueue;
        Post(WaveInMsg::Data, h);
    }
    void Pull()
    {
        if (!m_io)
            return;
        for (;;) {
            if (m_queue.empty()) {
                // No buffer to fill: the samples are dropped, as on a real device.
                char sink[4096];
                if (m_io->read(sink, sizeof sink) <= 0)
                    return;
                continue;
            }
            tWaveHdr* h = m_queue.front();
            const qint64 want = h->dwBufferLength - h->dwBytesRecorded;
            const qint64 got = m_io->read(h->lpData + h->dwBytesRecorded, want);
            if (got <= 0)
                return;
            h->dwBytesRecorded += static_cast<std::uint32_t>(got);
            m_bytes += static_cast<std::uint64_t>(got);
            if (h->dwBytesRecorded >= h->dwBufferLength)
                Return();
        }
    }

    const tWAVEFORMATEX m_format;
    WaveInNotify m_notify;
    QObject* m_context;
    QAudioSource* m_source = nullptr;
    QIODevice* m_io = nullptr;
    std::deque<tWaveHdr*> m_queue;
    std::uint64_t m_bytes = 0;
    bool m_closed = false;
};

MMRESULT Name(const QList<QAudioDevice>& list, const QAudioDevice& def, int device, QString& name)
{
    QAudioDevice d;
    if (MMRESULT r = Pick(list, def, device, d))
        return r;
    name = d.description().left(kMaxPnameLen - 1);
    return MMSYSERR::NoError;
}

} // namespace

std::uint32_t QtSoundSystem::WaveOutNumDevs()
{
    return static_cast<std::uint32_t>(QMediaDevices::audioOutputs().size());
}

MMRESULT QtSoundSystem::WaveOutGetDevCaps(int device, QString& productName)
{
    return Name(QMediaDevices::audioOutputs(), QMediaDevices::defaultAudioOutput(), device, productName);
}

MMRESULT QtSoundSystem::WaveOutOpen(std::unique_ptr<IWaveOut>& out, int device, const tWAVEFORMATEX& format)
{
    QAudioDevice dev;
    if (MMRESULT r = Pick(QMediaDevices::audioOutputs(), QMediaDevices::defaultAudioOutput(), device, dev))
        return r;
    QAudioFormat qf;
    if (!ToQt(format, qf) || !dev.isFormatSupported(qf))
        return WAVERR::BadFormat;
    auto w = std::make_unique<QtWaveOut>(dev, qf, format);
    if (!w->Started())
        return MMSYSERR::NoDriver;
    out = std::move(w);
    return MMSYSERR::NoError;
}

std::uint32_t QtSoundSystem::WaveInNumDevs()
{
    return static_cast<std::uint32_t>(QMediaDevices::audioInputs().size());
}

MMRESULT QtSoundSystem::WaveInGetDevCaps(int device, QString& productName)
{
    return Name(QMediaDevices::audioInputs(), QMediaDevices::defaultAudioInput(), device, productName);
}

MMRESULT QtSoundSystem::WaveInOpen(std::unique_ptr<IWaveIn>& in, int device, const tWAVEFORMATEX& format,
                                   WaveInNotify notify)
{
    QAudioDevice dev;
    if (MMRESULT r = Pick(QMediaDevices::audioInputs(), QMediaDevices::defaultAudioInput(), device, dev))
        return r;
    QAudioFormat qf;
    if (!ToQt(format, qf) || !dev.isFormatSupported(qf))
        return WAVERR::BadFormat;
    if (!notify)
        return MMSYSERR::NoError;
    in = std::make_unique<QtWaveIn>(dev, qf, format, std::move(notify));
    return MMSYSERR::NoError;
}
