#include "VirtualSound.h"

#include "AcmStream.h"
#include "Riff.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cmath>
#include <cstring>
#include <deque>
#include <numbers>
#include <vector>

struct VirtualSoundSystem::Shared
{
    mutable QMutex mutex;
    QList<VirtualPlayback> playbacks;
    std::function<MMRESULT(const char*, int)> fault;

    MMRESULT Fault(const char* op, int device) const { return fault ? fault(op, device) : MMSYSERR::NoError; }
};

namespace {

MMRESULT CheckPcm(const tWAVEFORMATEX& f)
{
    if (f.wFormatTag != WaveTag::Pcm || (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) || f.nChannels == 0 ||
        f.nChannels > 8 || f.nSamplesPerSec < 1000 || f.nSamplesPerSec > 192000 ||
        f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8 ||
        f.nAvgBytesPerSec != static_cast<std::uint32_t>(f.nBlockAlign) * f.nSamplesPerSec)
        return WAVERR::BadFormat;
    return MMSYSERR::NoError;
}

std::uint64_t BytesIn(std::int64_t ns, const tWAVEFORMATEX& f)
{
    const std::uint64_t frames = static_cast<std::uint64_t>(ns) * f.nSamplesPerSec / 1000000000ULL;
    return frames * f.nBlockAlign;
}

class VirtualWaveOut final : public IWaveOut
{
public:
    VirtualWaveOut(std::shared_ptr<VirtualSoundSystem::Shared> shared, std::shared_ptr<IAudioClock> clock,
                   int device, const tWAVEFORMATEX& f, int logIndex)
        : m_shared(std::move(shared)), m_clock(std::move(clock)), m_device(device), m_format(f), m_log(logIndex)
    {
        m_lastNs = m_clock->NowNs();
    }
    ~VirtualWaveOut() override
    {
        if (!m_closed) {
            Reset();
            Close();
        }
    }

    MMRESULT PrepareHeader(tWaveHdr& h) override
    {
        QMutexLocker lock(&m_mutex);
        if (m_closed)
            return MMSYSERR::InvalHandle;
        if (MMRESULT r = m_shared->Fault("PrepareHeader", m_device))
            return r;
        if (!h.lpData || h.dwBufferLength == 0)
            return MMSYSERR::InvalParam;
        h.dwFlags |= WHDR::Prepared;
        return MMSYSERR::NoError;
    }
    MMRESULT UnprepareHeader(tWaveHdr& h) override
    {
        QMutexLocker lock(&m_mutex);
        if (h.dwFlags & WHDR::InQueue)
            return WAVERR::StillPlaying;
        h.dwFlags &= ~WHDR::Prepared;
        return MMSYSERR::NoError;
    }
    MMRESULT Write(tWaveHdr& h) override
    {
        QMutexLocker lock(&m_mutex);
        if (m_closed)
            return MMSYSERR::InvalHandle;
        if (!(h.dwFlags & WHDR::Prepared))
            return WAVERR::Unprepared;
        if (h.dwFlags & WHDR::InQueue)
            return WAVERR::StillPlaying;
        if (MMRESULT r = m_shared->Fault("Write", m_device))
            return r;
        Advance();
        if (m_starving && m_starvedNs > 0) {
            // The device ran dry while playing and now gets more: a gap was heard.
            Log([&](VirtualPlayback& p) {
                ++p.gaps;
                p.gapNs += m_starvedNs;
            });
        }
        m_starving = false;
        m_starvedNs = 0;
        h.dwFlags = (h.dwFlags | WHDR::InQueue) & ~WHDR::Done;
        m_queue.push_back(&h);
        Log([&](VirtualPlayback& p) { ++p.writes; });
        return MMSYSERR::NoError;
    }
    MMRESULT Pause() override
    {
        QMutexLocker lock(&m_mutex);
        if (m_closed)
            return MMSYSERR::InvalHandle;
        if (MMRESULT r = m_shared->Fault("Pause", m_device))
            return r;
        Advance();
        m_paused = true;
        return MMSYSERR::NoError;
    }
    MMRESULT Restart() override
    {
        QMutexLocker lock(&m_mutex);
        if (m_closed)
            return MMSYSERR::InvalHandle;
        if (MMRESULT r = m_shared->Fault("Restart", m_device))
            return r;
        Advance();
        m_paused = false;
        return MMSYSERR::NoError;
    }
    MMRESULT Reset() override
    {
        QMutexLocker lock(&m_mutex);
        if (m_closed)
            return MMSYSERR::InvalHandle;
        if (MMRESULT r = m_shared->Fault("Reset", m_device))
            return r;
        Advance();
        while (!m_queue.empty())
            Finish();
        m_frontOffset = 0;
        m_playedBytes = 0;
        m_activeNs = 0;
        m_creditedBytes = 0;
        m_starving = false;
        m_starvedNs = 0;
        return MMSYSERR::NoError;
    }
    MMRESULT Close() override
    {
        QMutexLocker lock(&m_mutex);
        if (m_closed)
            return MMSYSERR::InvalHandle;
        if (MMRESULT r = m_shared->Fault("Close", m_device))
            return r;
        Advance();
        if (!m_queue.empty())
            return WAVERR::StillPlaying;
        m_closed = true;
        Log([](VirtualPlayback& p) { p.closed = true; });
        return MMSYSERR::NoError;
    }
    MMRESULT GetPosition(PositionUnit unit, std::uint32_t& value) override
    {
        QMutexLocker lock(&m_mutex);
        if (m_closed)
            return MMSYSERR::InvalHandle;
        if (MMRESULT r = m_shared->Fault("GetPosition", m_device))
            return r;
        Advance();
        value = static_cast<std::uint32_t>(unit == PositionUnit::Bytes ? m_playedBytes
                                                                        : m_playedBytes / m_format.nBlockAlign);
        return MMSYSERR::NoError;
    }
    bool TakeDone(tWaveHdr*& header) override
    {
        QMutexLocker lock(&m_mutex);
        Advance();
        if (m_done.empty())
            return false;
        header = m_done.front();
        m_done.pop_front();
        return true;
    }

private:
    template <class F> void Log(F f)
    {
        QMutexLocker lock(&m_shared->mutex);
        if (m_log >= 0 && m_log < m_shared->playbacks.size())
            f(m_shared->playbacks[m_log]);
    }

    void Finish()
    {
        tWaveHdr* h = m_queue.front();
        m_queue.pop_front();
        h->dwFlags = (h->dwFlags | WHDR::Done) & ~WHDR::InQueue;
        m_done.push_back(h);
        m_frontOffset = 0;
    }

    // Plays what the clock says has been played since the last call.
    void Advance()
    {
        const std::int64_t now = m_clock->NowNs();
        const std::int64_t delta = now - m_lastNs;
        m_lastNs = now;
        if (m_paused || m_closed || delta <= 0)
            return;
        m_activeNs += delta;
        const std::uint64_t demand = BytesIn(m_activeNs, m_format);
        std::uint64_t budget = demand - m_creditedBytes;
        m_creditedBytes = demand;
        QByteArray heard;
        while (budget > 0 && !m_queue.empty()) {
            tWaveHdr* h = m_queue.front();
            const std::uint64_t left = h->dwBufferLength - m_frontOffset;
            const std::uint64_t take = std::min(left, budget);
            heard.append(h->lpData + m_frontOffset, static_cast<qsizetype>(take));
            m_frontOffset += static_cast<std::uint32_t>(take);
            m_playedBytes += take;
            budget -= take;
            if (m_frontOffset >= h->dwBufferLength)
                Finish();
        }
        // Running dry counts only between buffers: before the first byte there is
        // nothing to interrupt.
        if (budget > 0 && m_playedBytes > 0) {
            m_starving = true;
            m_starvedNs += static_cast<std::int64_t>(budget / m_format.nBlockAlign * 1000000000ULL /
                                                     m_format.nSamplesPerSec);
        }
        if (!heard.isEmpty())
            Log([&](VirtualPlayback& p) { p.played.append(heard); });
    }

    std::shared_ptr<VirtualSoundSystem::Shared> m_shared;
    std::shared_ptr<IAudioClock> m_clock;
    const int m_device;
    const tWAVEFORMATEX m_format;
    const int m_log;
    QMutex m_mutex;
    std::deque<tWaveHdr*> m_queue;
    std::deque<tWaveHdr*> m_done;
    std::uint32_t m_frontOffset = 0;
    std::uint64_t m_playedBytes = 0;
    std::uint64_t m_creditedBytes = 0;
    std::int64_t m_activeNs = 0;
    std::int64_t m_lastNs = 0;
    std::int64_t m_starvedNs = 0;
    bool m_starving = false;
    bool m_paused = false; // a freshly opened device plays
    bool m_closed = false;
};

// Produces one sample value per frame and channel of the capture.
class CaptureSource
{
public:
    CaptureSource(const VirtualSoundConfig& cfg, const tWAVEFORMATEX& f) : m_format(f), m_generator(cfg.generator)
    {
        if (!cfg.inputWav.isEmpty())
            LoadWav(cfg.inputWav);
        if (!m_generator && m_wav.empty() && cfg.inputWav.isEmpty())
            m_generator = [](std::uint64_t frame, std::uint32_t rate) {
                return static_cast<std::int16_t>(
                    16383.0 * std::sin(2.0 * std::numbers::pi * 440.0 * static_cast<double>(frame) / rate));
            };
    }

    std::int16_t Sample(std::uint64_t frame) const
    {
        if (!m_wav.empty() || !m_generator)
            return frame < m_wav.size() ? m_wav[static_cast<std::size_t>(frame)] : 0;
        return m_generator(frame, m_format.nSamplesPerSec);
    }

private:
    void LoadWav(const QString& path)
    {
        TRiffFile f;
        if (f.Open(path, TRiffFile::Mode::Read) != 0)
            return;
        tRiffChunk riff;
        riff.fccType = TRiffFile::FourCC("WAVE");
        if (f.Descend(riff, nullptr, TRiffFile::Find::Riff) != 0)
            return;
        tRiffChunk fmt;
        fmt.ckid = TRiffFile::FourCC("fmt");
        if (f.Descend(fmt, &riff, TRiffFile::Find::Chunk) != 0 || fmt.cksize < 16)
            return;
        unsigned char raw[kWaveFormatExBytes] = {};
        f.Read(raw, std::min<qint64>(fmt.cksize, kWaveFormatExBytes));
        tWAVEFORMATEX src = ReadFormat(raw, std::min<int>(static_cast<int>(fmt.cksize), kWaveFormatExBytes));
        src.cbSize = 0;
        f.Ascend(fmt);
        tRiffChunk data;
        data.ckid = TRiffFile::FourCC("data");
        if (f.Descend(data, &riff, TRiffFile::Find::Chunk) != 0)
            return;
        const qint64 size = std::min<qint64>(data.cksize, f.Size() - data.dwDataOffset);
        if (size <= 0)
            return;
        QByteArray bytes(size, '\0');
        const qint64 got = f.Read(bytes.data(), size);
        if (got <= 0)
            return;
        bytes.truncate(got);
        // Into 16-bit mono at the capture rate through the conversion streams.
        const tWAVEFORMATEX dst = PcmFormat(m_format.nSamplesPerSec, 1, 16);
        std::unique_ptr<TAcmStream> s;
        if (TAcmStream::Open(s, src, dst, 0) != 0)
            return;
        std::uint32_t outSize = 0;
        if (s->Size(static_cast<std::uint32_t>(bytes.size()), outSize, AcmSize::OutputForInput) != 0)
            return;
        std::vector<std::uint8_t> out(outSize + 65536);
        tAcmStreamHeader h;
        h.pbSrc = reinterpret_cast<std::uint8_t*>(bytes.data());
        h.cbSrcLength = static_cast<std::uint32_t>(bytes.size());
        h.pbDst = out.data();
        h.cbDstLength = static_cast<std::uint32_t>(out.size());
        if (s->PrepareHeader(h) != 0 || s->Convert(h, AcmConvert::Start | AcmConvert::End) != 0)
            return;
        m_wav.resize(h.cbDstLengthUsed / 2);
        std::memcpy(m_wav.data(), out.data(), m_wav.size() * 2);
    }

    tWAVEFORMATEX m_format;
    std::function<std::int16_t(std::uint64_t, std::uint32_t)> m_generator;
    std::vector<std::int16_t> m_wav;
};

class VirtualWaveIn final : public IWaveIn
{
public:
    VirtualWaveIn(std::shared_ptr<VirtualSoundSystem::Shared> shared, std::shared_ptr<IAudioClock> clock, int device,
                  const tWAVEFORMATEX& f, const VirtualSoundConfig& cfg, WaveInNotify notify)
        : m_shared(std::move(shared)), m_clock(std::move(clock)), m_device(device), m_format(f), m_source(cfg, f),
          m_notify(std::move(notify)), m_context(new QObject)
    {
        m_timer = new QTimer(m_context);
        m_timer->setInterval(10);
        QObject::connect(m_timer, &QTimer::timeout, m_context, [this] { Advance(); });
        Post(WaveInMsg::Open, nullptr);
    }
    ~VirtualWaveIn() override
    {
        if (!m_closed) {
            Reset();
            Close();
        }
        // Notices already posted are still delivered; deleteLater runs after them.
        m_timer->stop();
        m_context->deleteLater();
    }

    MMRESULT PrepareHeader(tWaveHdr& h) override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
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
        if (MMRESULT r = m_shared->Fault("AddBuffer", m_device))
            return r;
        Advance();
        h.dwFlags = (h.dwFlags | WHDR::InQueue) & ~WHDR::Done;
        h.dwBytesRecorded = 0;
        m_queue.push_back(&h);
        return MMSYSERR::NoError;
    }
    MMRESULT Start() override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        if (MMRESULT r = m_shared->Fault("Start", m_device))
            return r;
        Advance();
        m_running = true;
        m_timer->start();
        return MMSYSERR::NoError;
    }
    MMRESULT Stop() override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        if (MMRESULT r = m_shared->Fault("Stop", m_device))
            return r;
        Advance();
        m_running = false;
        m_timer->stop();
        if (!m_queue.empty() && m_queue.front()->dwBytesRecorded > 0)
            Return();
        return MMSYSERR::NoError;
    }
    MMRESULT Reset() override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        Advance();
        m_running = false;
        m_timer->stop();
        while (!m_queue.empty())
            Return();
        m_frames = 0;
        m_activeNs = 0;
        return MMSYSERR::NoError;
    }
    MMRESULT Close() override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        if (!m_queue.empty())
            return WAVERR::StillPlaying;
        m_closed = true;
        m_timer->stop();
        Post(WaveInMsg::Close, nullptr);
        return MMSYSERR::NoError;
    }
    MMRESULT GetPosition(PositionUnit unit, std::uint32_t& value) override
    {
        if (m_closed)
            return MMSYSERR::InvalHandle;
        Advance();
        value = static_cast<std::uint32_t>(unit == PositionUnit::Samples ? m_frames : m_frames * m_format.nBlockAlign);
        return MMSYSERR::NoError;
    }

private:
    void Post(WaveInMsg msg, tWaveHdr* h)
    {
        if (!m_notify)
            return;
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

    void Advance()
    {
        const std::int64_t now = m_clock->NowNs();
        const std::int64_t delta = now - m_lastNs;
        m_lastNs = now;
        if (!m_running || m_closed || delta <= 0)
            return;
        m_activeNs += delta;
        const std::uint64_t target = static_cast<std::uint64_t>(m_activeNs) * m_format.nSamplesPerSec / 1000000000ULL;
        const unsigned ba = m_format.nBlockAlign;
        while (m_frames < target && !m_queue.empty()) {
            tWaveHdr* h = m_queue.front();
            while (m_frames < target && h->dwBytesRecorded + ba <= h->dwBufferLength) {
                const std::int16_t s = m_source.Sample(m_frames);
                for (unsigned c = 0; c < m_format.nChannels; ++c) {
                    char* p = h->lpData + h->dwBytesRecorded;
                    if (m_format.wBitsPerSample == 16) {
                        p[0] = static_cast<char>(s & 0xFF);
                        p[1] = static_cast<char>((s >> 8) & 0xFF);
                        h->dwBytesRecorded += 2;
                    } else {
                        p[0] = static_cast<char>((s >> 8) + 128);
                        h->dwBytesRecorded += 1;
                    }
                }
                ++m_frames;
            }
            if (h->dwBytesRecorded + ba > h->dwBufferLength)
                Return();
        }
        // Without a free buffer the samples are lost, as on a real device.
        if (m_frames < target && m_queue.empty())
            m_frames = target;
    }

    std::shared_ptr<VirtualSoundSystem::Shared> m_shared;
    std::shared_ptr<IAudioClock> m_clock;
    const int m_device;
    const tWAVEFORMATEX m_format;
    CaptureSource m_source;
    WaveInNotify m_notify;
    QObject* m_context;
    QTimer* m_timer = nullptr;
    std::deque<tWaveHdr*> m_queue;
    std::uint64_t m_frames = 0;
    std::int64_t m_activeNs = 0;
    std::int64_t m_lastNs = 0;
    bool m_running = false;
    bool m_closed = false;
};

MMRESULT DeviceName(const QStringList& names, int device, QString& name)
{
    if (names.isEmpty())
        return device == WAVE_MAPPER ? MMSYSERR::NoDriver : MMSYSERR::BadDeviceId;
    if (device == WAVE_MAPPER)
        device = 0;
    if (device < 0 || device >= names.size())
        return MMSYSERR::BadDeviceId;
    name = names.at(device).left(kMaxPnameLen - 1);
    return MMSYSERR::NoError;
}

} // namespace

VirtualSoundSystem::VirtualSoundSystem(VirtualSoundConfig config)
    : m_config(std::move(config)), m_clock(m_config.clock), m_shared(std::make_shared<Shared>())
{
    if (!m_clock)
        m_clock = std::make_shared<SteadyAudioClock>(1.0);
    m_shared->fault = m_config.fault;
}

VirtualSoundSystem::~VirtualSoundSystem() = default;

std::uint32_t VirtualSoundSystem::WaveOutNumDevs()
{
    return static_cast<std::uint32_t>(m_config.outputs.size());
}

MMRESULT VirtualSoundSystem::WaveOutGetDevCaps(int device, QString& productName)
{
    return DeviceName(m_config.outputs, device, productName);
}

MMRESULT VirtualSoundSystem::WaveOutOpen(std::unique_ptr<IWaveOut>& out, int device, const tWAVEFORMATEX& format)
{
    QString name;
    if (MMRESULT r = DeviceName(m_config.outputs, device, name))
        return r;
    if (MMRESULT r = m_shared->Fault("WaveOutOpen", device))
        return r;
    if (MMRESULT r = CheckPcm(format))
        return r;
    int index;
    {
        QMutexLocker lock(&m_shared->mutex);
        VirtualPlayback p;
        p.device = device;
        p.format = format;
        m_shared->playbacks.append(p);
        index = static_cast<int>(m_shared->playbacks.size() - 1);
    }
    out = std::make_unique<VirtualWaveOut>(m_shared, m_clock, device, format, index);
    return MMSYSERR::NoError;
}

std::uint32_t VirtualSoundSystem::WaveInNumDevs()
{
    return static_cast<std::uint32_t>(m_config.inputs.size());
}

MMRESULT VirtualSoundSystem::WaveInGetDevCaps(int device, QString& productName)
{
    return DeviceName(m_config.inputs, device, productName);
}

MMRESULT VirtualSoundSystem::WaveInOpen(std::unique_ptr<IWaveIn>& in, int device, const tWAVEFORMATEX& format,
                                        WaveInNotify notify)
{
    QString name;
    if (MMRESULT r = DeviceName(m_config.inputs, device, name))
        return r;
    if (MMRESULT r = CheckPcm(format))
        return r;
    if (!notify)
        return MMSYSERR::NoError; // query only
    if (MMRESULT r = m_shared->Fault("WaveInOpen", device))
        return r;
    in = std::make_unique<VirtualWaveIn>(m_shared, m_clock, device, format, m_config, std::move(notify));
    return MMSYSERR::NoError;
}

QList<VirtualPlayback> VirtualSoundSystem::Playbacks() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->playbacks;
}
