#include "ACMWaveOut.h"

#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

namespace {

QString Hex2(std::uint8_t b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

// Smallest block a shortened file is read in: keeps every engine buffer well above
// the engine's 16-byte minimum.
constexpr std::uint32_t kMinInBlock = 64;

} // namespace

TACMWaveOut::TACMWaveOut(QObject* owner, ISoundSystem& sound, IMessageService& messages)
    : QObject(owner), prTimerEvent(new QTimer(this)), m_sound(sound), m_messages(messages)
{
    prTimerEvent->setInterval(kEndTimerMs);
    prTimerEvent->setSingleShot(true);
    connect(prTimerEvent, &QTimer::timeout, this, &TACMWaveOut::TimerEventTimer);
}

TACMWaveOut::~TACMWaveOut()
{
    prTimerEvent->stop();
    Close();
    Release();
}

std::int32_t TACMWaveOut::BufferFree()
{
    return m_engine ? m_engine->BufferFree() : 0;
}

std::uint32_t TACMWaveOut::Position()
{
    return m_engine ? m_engine->Position() : 0;
}

std::uint32_t TACMWaveOut::SrcPosition()
{
    return m_engine && m_outBlock ? m_engine->Position() / m_outBlock : 0;
}

void TACMWaveOut::SetChannels(std::uint16_t value)
{
    m_output.nChannels = value;
    RecomputeFormat(m_output);
}

void TACMWaveOut::SetSamplesPerSec(std::uint16_t value)
{
    m_rateSetting = value;
    m_output.nSamplesPerSec = value;
    RecomputeFormat(m_output);
}

void TACMWaveOut::SetBitsPerSample(std::uint16_t value)
{
    m_output.wBitsPerSample = value;
    RecomputeFormat(m_output);
}

void TACMWaveOut::CreateEngine()
{
    if (m_engine)
        return;
    m_engine = new TWaveOut(this, m_sound, m_messages);
    m_engine->OnBufferTrigger = [this](QObject* s) { WaveOutBufferTrigger(s); };
    m_engine->OnFinish = [this](QObject* s) { WaveOutFinish(s); };
}

bool TACMWaveOut::FailOpen(const QString& message)
{
    if (!message.isEmpty())
        m_messages.ShowMessage(message);
    Release();
    m_state = Closed;
    return false;
}

bool TACMWaveOut::Open(const QString& fileName, int device)
{
    if (m_state != Closed)
        Close();
    m_firstConversion = true;
    m_preFirst = true;
    m_twoStage = false;
    m_device = device;
    if (!QFileInfo(fileName).isFile())
        return false;
    m_startPosition = 0;
    m_filename = fileName;
    if (!OnOutput)
        CreateEngine();

    m_output.wFormatTag = WaveTag::Pcm;
    m_output.cbSize = 0;
    m_output.nSamplesPerSec = m_rateSetting;
    RecomputeFormat(m_output);

    const MMRESULT openResult = m_file.Open(fileName, TRiffFile::Mode::Read);
    if (openResult != MMSYSERR::NoError)
        return FailOpen(QStringLiteral("Error opening/creating WaveFile -> ") + fileName + QStringLiteral("(+") +
                        QString::number(openResult) + QStringLiteral(")"));
    m_riff = tRiffChunk{};
    m_riff.fccType = TRiffFile::FourCC("WAVE");
    if (MMRESULT r = m_file.Descend(m_riff, nullptr, TRiffFile::Find::Riff))
        return FailOpen(QStringLiteral("Error ") + QString::number(r));
    tRiffChunk fmt;
    fmt.ckid = TRiffFile::FourCC("fmt");
    if (m_file.Descend(fmt, &m_riff, TRiffFile::Find::Chunk) != MMSYSERR::NoError)
        return FailOpen(fileName + QStringLiteral(" has no format chunk."));
    std::memset(m_sourceBytes, 0, sizeof m_sourceBytes);
    const qint64 fmtBytes = std::min<qint64>(fmt.cksize, kWaveFormatOutBytes);
    const qint64 got = m_file.Read(m_sourceBytes, fmtBytes);
    m_source = ReadFormat(m_sourceBytes, kWaveFormatExBytes);
    // A format record must be complete and describe whole samples at a real rate;
    // anything else would divide by zero or misread the data further on.
    if (fmt.cksize < 16 || got < 16 || m_source.nChannels == 0 || m_source.nSamplesPerSec == 0 ||
        m_source.nAvgBytesPerSec == 0 || m_source.nBlockAlign == 0)
        return FailOpen(fileName + QStringLiteral(" has a damaged format chunk."));
    if (fmt.cksize < kWaveFormatExBytes)
        m_source.cbSize = 0;

    m_inBlock = m_source.nAvgBytesPerSec;
    if (m_source.wFormatTag == WaveTag::Pcm) {
        m_output = m_source;
        m_output.cbSize = 0;
    } else {
        m_output.nSamplesPerSec = m_source.nSamplesPerSec;
    }
    if (m_channelMode != 0) {
        if (m_source.wFormatTag != WaveTag::Pcm) {
            m_savedSourceFmt = m_source;
            m_source = m_output;
            RecomputeFormat(m_source);
            m_twoStage = true;
        }
        m_output.nChannels = 1;
        m_output.nSamplesPerSec = 44100;
    }
    RecomputeFormat(m_output);

    const qint64 length = m_file.Size();
    if (length < 0) {
        m_messages.ShowMessage(fileName + QStringLiteral(" does not exist"));
    } else {
        const std::uint32_t rest = static_cast<std::uint32_t>(length) - 64u;
        if (rest < m_inBlock) {
            const std::uint32_t align = FileFormat().nBlockAlign;
            m_inBlock = std::max(rest, std::min(kMinInBlock, m_inBlock)) / align * align;
            if (m_inBlock == 0)
                m_inBlock = align;
        }
    }

    if (!OpenACM(0, 0))
        return FailOpen(QString());

    m_file.Ascend(fmt);
    m_data = tRiffChunk{};
    m_data.ckid = TRiffFile::FourCC("data");
    if (m_file.Descend(m_data, &m_riff, TRiffFile::Find::Chunk) != MMSYSERR::NoError)
        return FailOpen(fileName + QStringLiteral(" has no data chunk."));
    // A data size past the end of the file counts only what the file holds.
    const qint64 held = std::max<qint64>(0, m_file.Size() - m_data.dwDataOffset);
    if (m_data.cksize > held)
        m_data.cksize = static_cast<std::uint32_t>(held);
    m_totalTime = static_cast<std::uint32_t>(static_cast<std::uint64_t>(m_data.cksize) * 1000u /
                                             FileFormat().nAvgBytesPerSec);

    if (!OnOutput && !ConfigureAndOpenEngine())
        return FailOpen(QString());
    m_state = Opened;
    DoFillQueue();
    return true;
}

bool TACMWaveOut::ConfigureAndOpenEngine()
{
    std::int32_t wanted;
    if (m_channelMode != 0) {
        m_engine->SetnChannels(2);
        wanted = static_cast<std::int32_t>(2 * m_outBlock);
    } else {
        m_engine->SetnChannels(m_output.nChannels);
        wanted = static_cast<std::int32_t>(m_outBlock);
    }
    m_engine->SetBufferSize(wanted);
    m_engine->SetnSamplesPerSecond(m_output.nSamplesPerSec);
    m_engine->SetnBitsPerSample(m_output.wBitsPerSample);
    if (m_engine->BufferSize() != wanted) {
        // The engine copies whole buffers of its own size out of ours.
        m_messages.ShowMessage(QStringLiteral("Error buffer size ") + QString::number(wanted));
        return false;
    }
    return m_engine->Open(m_device);
}

bool TACMWaveOut::OpenACM(int, int)
{
    if (m_twoStage) {
        MMRESULT r = TAcmStream::Open(m_pre, m_savedSourceFmt, m_source, 0);
        if (r != MMSYSERR::NoError)
            r = TAcmStream::Open(m_pre, m_savedSourceFmt, m_source, AcmOpen::NonRealtime);
        if (r != MMSYSERR::NoError) {
            m_messages.ShowMessage(QStringLiteral("Error acmStreamOpen (pre)\nResult =  ") + QString::number(r));
            return false;
        }
        m_preInSize = m_inBlock;
        r = m_pre->Size(m_preInSize, m_inBlock, AcmSize::OutputForInput);
        if (r == MMSYSERR::NoError)
            r = m_pre->Size(m_inBlock, m_preInSize, AcmSize::InputForOutput);
        if (r != MMSYSERR::NoError) {
            m_messages.ShowMessage(QStringLiteral("Error acmStreamSize\nResult =  ") + QString::number(r) +
                                   QStringLiteral("\nInBufferSize = ") + QString::number(m_preInSize));
            return false;
        }
    }
    MMRESULT r = TAcmStream::Open(m_main, m_source, m_output, 0);
    if (r != MMSYSERR::NoError)
        r = TAcmStream::Open(m_main, m_source, m_output, AcmOpen::NonRealtime);
    if (r != MMSYSERR::NoError) {
        m_messages.ShowMessage(QStringLiteral("Error acmStreamOpen\nResult =  ") + QString::number(r));
        return false;
    }
    r = m_main->Size(m_inBlock, m_outBlock, AcmSize::OutputForInput);
    if (r != MMSYSERR::NoError) {
        m_messages.ShowMessage(QStringLiteral("Error acmStreamSize (Src)\nResult =  ") + QString::number(r) +
                               QStringLiteral("\nInBufferSize = ") + QString::number(m_inBlock));
        return false;
    }
    r = m_main->Size(m_outBlock, m_inBlock, AcmSize::InputForOutput);
    if (r != MMSYSERR::NoError) {
        m_messages.ShowMessage(QStringLiteral("Error acmStreamSize (Dst)\nResult =  ") + QString::number(r) +
                               QStringLiteral("\nInBufferSize = ") + QString::number(m_inBlock) +
                               QStringLiteral("\nOutBufferSize = ") + QString::number(m_outBlock));
        return false;
    }
    m_outBuf.assign(m_outBlock, 0);
    m_srcBuf.assign(m_inBlock, 0);
    if (m_twoStage) {
        m_preBuf.assign(m_preInSize, 0);
        m_preHdr = tAcmStreamHeader{};
        m_preHdr.pbSrc = m_preBuf.data();
        m_preHdr.cbSrcLength = m_preInSize;
        m_preHdr.pbDst = m_srcBuf.data();
        m_preHdr.cbDstLength = m_inBlock;
        r = m_pre->PrepareHeader(m_preHdr);
        if (r != MMSYSERR::NoError) {
            m_messages.ShowMessage(QStringLiteral("Error Prepare Header (pre) \nResult =  ") + QString::number(r) +
                                   QStringLiteral("\nInBufferSize = ") + QString::number(m_preInSize) +
                                   QStringLiteral("\nOutBufferSize = ") + QString::number(m_inBlock));
            return false;
        }
    }
    m_mainHdr = tAcmStreamHeader{};
    m_mainHdr.pbSrc = m_srcBuf.data();
    m_mainHdr.cbSrcLength = m_inBlock;
    m_mainHdr.pbDst = m_outBuf.data();
    m_mainHdr.cbDstLength = m_outBlock;
    r = m_main->PrepareHeader(m_mainHdr);
    if (r != MMSYSERR::NoError) {
        m_messages.ShowMessage(QStringLiteral("Error Prepare Header\nResult =  ") + QString::number(r) +
                               QStringLiteral("\nInBufferSize = ") + QString::number(m_inBlock) +
                               QStringLiteral("\nOutBufferSize = ") + QString::number(m_outBlock));
        return false;
    }
    return true;
}

TACMWaveOut::ReadResult TACMWaveOut::ReadBlock(std::uint32_t& bytes)
{
    bytes = 0;
    // Never read past the data chunk (a following chunk is not sound).
    const qint64 pos = m_file.Pos();
    const qint64 dataEnd = static_cast<qint64>(m_data.dwDataOffset) + m_data.cksize;
    const qint64 left = std::max<qint64>(0, dataEnd - pos);
    if (m_twoStage) {
        const qint64 n = m_file.Read(m_preBuf.data(), std::min<qint64>(m_preInSize, left));
        if (n <= 0)
            return ReadResult::End;
        if (n < m_preInSize)
            std::memset(m_srcBuf.data(), 0, m_srcBuf.size());
        m_preHdr.cbSrcLength = static_cast<std::uint32_t>(n);
        MMRESULT r = m_pre->Convert(m_preHdr, m_preFirst ? AcmConvert::Start : AcmConvert::BlockAlign);
        if (r != MMSYSERR::NoError)
            r = m_pre->Convert(m_preHdr, AcmConvert::BlockAlign);
        m_preHdr.cbSrcLength = m_preInSize;
        m_preFirst = false;
        bytes = m_inBlock; // the block counts as full
        return r == MMSYSERR::NoError ? ReadResult::Block : ReadResult::Failed;
    }
    const qint64 n = m_file.Read(m_srcBuf.data(), std::min<qint64>(m_inBlock, left));
    if (n <= 0)
        return ReadResult::End;
    bytes = static_cast<std::uint32_t>(n);
    return ReadResult::Block;
}

bool TACMWaveOut::ConvertMain(std::uint32_t bytes, bool allowStart)
{
    m_mainHdr.cbSrcLength = bytes;
    const bool start = allowStart && m_firstConversion;
    MMRESULT r = m_main->Convert(m_mainHdr, start ? AcmConvert::Start : AcmConvert::BlockAlign);
    if (r != MMSYSERR::NoError)
        r = m_main->Convert(m_mainHdr, AcmConvert::BlockAlign);
    m_mainHdr.cbSrcLength = m_inBlock;
    if (r != MMSYSERR::NoError)
        return false;
    m_firstConversion = false;
    // Whatever the conversion did not fill plays as silence: every block is a full out-block.
    if (m_mainHdr.cbDstLengthUsed < m_outBlock)
        std::memset(m_outBuf.data() + m_mainHdr.cbDstLengthUsed, 0, m_outBlock - m_mainHdr.cbDstLengthUsed);
    return true;
}

void TACMWaveOut::HandOn(bool& engineFull)
{
    engineFull = false;
    if (OnOutput) {
        OnOutput(this, m_outBuf.data(), static_cast<int>(m_outBlock));
        return;
    }
    m_engine->Queue(GetChannelModeBuf(m_outBuf.data()));
    // Stop with one slot free; a ring that is already full (a ring of one) stops too.
    engineFull = m_engine->BufferFree() <= 1;
}

bool TACMWaveOut::DoFillQueue()
{
    m_fillEnded = false;
    for (;;) {
        std::uint32_t bytes = 0;
        const ReadResult rr = ReadBlock(bytes);
        if (rr == ReadResult::End) {
            m_fillEnded = true;
            return false;
        }
        if (rr == ReadResult::Failed || !ConvertMain(bytes, true))
            return false;
        bool full = false;
        HandOn(full);
        if (full)
            return true;
    }
}

void TACMWaveOut::WaveOutBufferTrigger(QObject*)
{
    std::uint32_t bytes = 0;
    if (ReadBlock(bytes) != ReadResult::Block)
        return;
    if (!ConvertMain(bytes, false))
        return;
    bool full = false;
    HandOn(full);
}

void TACMWaveOut::WaveOutBufferedTrigger(QObject*)
{
    if (OnBufferEmpty)
        OnBufferEmpty(this);
}

void TACMWaveOut::WaveOutFinish(QObject*)
{
    m_state = Finished;
    // The timer belongs to the owner's thread: start it there.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_state == Finished)
                prTimerEvent->start();
        },
        Qt::QueuedConnection);
}

void TACMWaveOut::TimerEventTimer()
{
    if (m_state != Finished) // closed or restarted since the engine drained
        return;
    Close();
    prTimerEvent->stop();
    if (OnEnd)
        OnEnd(this);
}

void TACMWaveOut::EndIfIdle()
{
    // Nothing queued and nothing left to read: the engine would never report an end.
    if (m_state == PlayingState && m_engine && m_engine->Queued() == 0 && m_fillEnded)
        WaveOutFinish(this);
}

bool TACMWaveOut::Play()
{
    if (m_state == Closed)
        return false;
    m_state = PlayingState;
    if (OnOutput)
        return false;
    try {
        const bool ok = m_engine && m_engine->Play();
        if (ok)
            EndIfIdle();
        return ok;
    } catch (const std::exception&) {
        return false;
    }
}

bool TACMWaveOut::Pause()
{
    if (m_state == Closed)
        return false;
    m_state = PausedState;
    if (OnOutput)
        return false;
    return m_engine && m_engine->Pause();
}

bool TACMWaveOut::Release()
{
    bool ok = true;
    if (m_engine) {
        m_engine->Close();
        delete m_engine;
        m_engine = nullptr;
    }
    if (m_twoStage && m_pre && (m_preHdr.fdwStatus & AcmStatus::Prepared))
        ok = m_pre->UnprepareHeader(m_preHdr) == MMSYSERR::NoError && ok;
    if (m_main && (m_mainHdr.fdwStatus & AcmStatus::Prepared))
        ok = m_main->UnprepareHeader(m_mainHdr) == MMSYSERR::NoError && ok;
    if (m_file.IsOpen())
        ok = m_file.Close() == MMSYSERR::NoError && ok;
    m_main.reset();
    m_pre.reset();
    m_mainHdr = tAcmStreamHeader{};
    m_preHdr = tAcmStreamHeader{};
    m_outBuf = {};
    m_srcBuf = {};
    m_stereoBuf = {};
    m_preBuf = {};
    m_twoStage = false;
    return ok;
}

bool TACMWaveOut::Close()
{
    if (m_state == Closed)
        return true;
    if (!OnOutput && m_engine && m_state == PlayingState)
        m_engine->Pause();
    // The engine goes first: its worker must stop before the file and streams do.
    if (m_engine) {
        m_engine->Close();
        delete m_engine;
        m_engine = nullptr;
    }
    m_state = Closed;
    return Release();
}

bool TACMWaveOut::SetTimePosition(std::uint32_t seconds)
{
    if (m_state == Closed || OnOutput || !m_engine)
        return false;
    const std::uint64_t b = FileFormat().nAvgBytesPerSec;
    if (!m_engine->Pause() || !m_engine->Close())
        return false;
    const std::uint64_t dataEnd = static_cast<std::uint64_t>(m_data.dwDataOffset) + m_data.cksize;
    std::uint64_t target = std::min<std::uint64_t>(seconds * b + m_data.dwDataOffset, dataEnd);
    m_file.Seek(static_cast<qint64>(target));
    m_firstConversion = true;
    m_preFirst = true;
    m_main->UnprepareHeader(m_mainHdr);
    m_main->PrepareHeader(m_mainHdr);
    if (m_twoStage) {
        m_pre->UnprepareHeader(m_preHdr);
        m_pre->PrepareHeader(m_preHdr);
    }
    if (m_file.Seek(static_cast<qint64>(target)) < 0)
        return false;
    if (!m_engine->Open(m_device))
        return false;
    m_startPosition = static_cast<std::uint32_t>(target);
    bool filled = DoFillQueue();
    // A fill that failed before anything was queued (a conversion error, not the end
    // of the data) is retried a second further on; what is queued is never queued again.
    for (int retry = 0; !filled && !m_fillEnded && m_engine->Queued() == 0 && retry < kSeekRetries; ++retry) {
        target = std::min<std::uint64_t>(target + b, dataEnd);
        m_file.Seek(static_cast<qint64>(target));
        QThread::msleep(kSeekRetryWaitMs);
        m_firstConversion = true;
        m_preFirst = true;
        m_startPosition = static_cast<std::uint32_t>(target);
        filled = DoFillQueue();
    }
    // Nothing from the target on could be converted: that is where the sound ends, so
    // that playback ends instead of waiting for a block that never comes.
    if (!filled && m_engine->Queued() == 0)
        m_fillEnded = true;
    const bool ok = m_state == PlayingState ? m_engine->Play() : m_engine->Pause();
    if (ok)
        EndIfIdle();
    return ok;
}

std::uint32_t TACMWaveOut::GetTimePosition()
{
    if (m_state == Closed || OnOutput || !m_engine)
        return 0;
    const std::uint32_t rate = m_output.nSamplesPerSec;
    const std::uint32_t b = FileFormat().nAvgBytesPerSec;
    return (rate ? m_engine->PositionTime() / rate : 0) + (b ? m_startPosition / b : 0);
}

bool TACMWaveOut::Reset()
{
    return m_engine ? m_engine->Reset() : false;
}

bool TACMWaveOut::ResetForMove()
{
    if (!m_engine)
        return false;
    m_engine->Pause();
    m_engine->Close();
    m_engine->Open(m_device);
    if (m_state == PlayingState)
        return m_engine->Play();
    return false;
}

bool TACMWaveOut::OpenBuffered(int device, const tWaveFormatOut& format, std::int32_t inBlockSize)
{
    if (m_state != Closed)
        Close();
    m_firstConversion = true;
    m_preFirst = true;
    m_twoStage = false;
    m_device = device;
    m_inBlock = inBlockSize > 0 ? static_cast<std::uint32_t>(inBlockSize) : 0;
    if (!OnOutput) {
        CreateEngine();
        m_engine->OnBufferTrigger = [this](QObject* s) { WaveOutBufferedTrigger(s); };
        m_engine->SetBufferCount(8);
        m_engine->SetTriggerPosition(5);
    }
    std::memcpy(m_sourceBytes, format.bytes, sizeof m_sourceBytes);
    m_source = ReadFormat(m_sourceBytes, kWaveFormatExBytes);
    m_output.wFormatTag = WaveTag::Pcm;
    m_output.cbSize = 0;
    m_output.nSamplesPerSec = m_source.nSamplesPerSec;
    RecomputeFormat(m_output);
    if (m_channelMode != 0) {
        if (m_source.wFormatTag != WaveTag::Pcm) {
            m_savedSourceFmt = m_source;
            m_source = m_output;
            RecomputeFormat(m_source);
            m_twoStage = true;
        }
        m_output.nChannels = 1;
        m_output.nSamplesPerSec = 44100;
        RecomputeFormat(m_output);
    }
    if (m_source.wFormatTag == WaveTag::Pcm)
        RecomputeFormat(m_source);
    if (m_inBlock == 0 || !OpenACM(0, 0))
        return FailOpen(QStringLiteral("OpenACM Failed"));
    if (OnOutput)
        return FailOpen(QString());
    if (!ConfigureAndOpenEngine())
        return FailOpen(QStringLiteral("Failed Open prWaveOut\nDevice ") + QString::number(device));
    m_state = Opened;
    m_filename.clear();
    return true;
}

bool TACMWaveOut::Queue(const void* block)
{
    if (m_state == Closed || !m_main)
        return false;
    const auto* in = static_cast<const std::uint8_t*>(block);
    if (m_twoStage) {
        std::memcpy(m_preBuf.data(), in, m_preInSize);
        m_pre->Convert(m_preHdr, m_firstConversion ? AcmConvert::Start : AcmConvert::BlockAlign);
    } else {
        std::memcpy(m_srcBuf.data(), in, m_mainHdr.cbSrcLength);
    }
    const MMRESULT r = m_main->Convert(m_mainHdr, m_firstConversion ? AcmConvert::Start : AcmConvert::BlockAlign);
    m_firstConversion = false;
    if (r != MMSYSERR::NoError && r != ACMERR::NotPossible) {
        m_messages.ShowMessage(QStringLiteral("Error StreamConvert ") + QString::number(r));
        return false;
    }
    if (m_mainHdr.cbDstLengthUsed < m_outBlock)
        std::memset(m_outBuf.data() + m_mainHdr.cbDstLengthUsed, 0, m_outBlock - m_mainHdr.cbDstLengthUsed);
    if (OnOutput) {
        OnOutput(this, m_outBuf.data(), static_cast<int>(m_outBlock));
        return false;
    }
    if (!m_engine->Queue(GetChannelModeBuf(m_outBuf.data()))) {
        const std::uint8_t b0 = in[0];
        const std::uint8_t b1 = m_inBlock > 1 ? in[1] : 0;
        m_messages.ShowMessage(QStringLiteral("Error prWaveOut->Queue(pbOutBuf) 0x") + Hex2(b0) +
                               QStringLiteral(" 0x") + Hex2(b1));
    }
    return m_engine->BufferFree() == 1;
}

const std::uint8_t* TACMWaveOut::GetChannelModeBuf(const std::uint8_t* block)
{
    if (m_channelMode == 0)
        return block;
    if (m_stereoBuf.size() != 2 * static_cast<size_t>(m_outBlock))
        m_stereoBuf.assign(2 * static_cast<size_t>(m_outBlock), 0);
    const bool left = (m_channelMode & 1) != 0;
    const bool tone = m_channelMode == 1 || m_channelMode == 2;
    const size_t frames = m_outBlock / 2;
    for (size_t i = 0; i < frames; ++i) {
        std::int16_t s;
        std::memcpy(&s, block + 2 * i, 2);
        std::int16_t other = 0;
        if (tone) {
            other = static_cast<std::int16_t>(std::trunc(std::sin(m_toneCounter * 2.3) * 32766.0));
            if (++m_toneCounter > 49999)
                m_toneCounter = 0;
        }
        const std::int16_t l = left ? s : other;
        const std::int16_t r = left ? other : s;
        std::memcpy(m_stereoBuf.data() + 4 * i, &l, 2);
        std::memcpy(m_stereoBuf.data() + 4 * i + 2, &r, 2);
    }
    return m_stereoBuf.data();
}

std::int16_t TACMWaveOut::DynCompress(std::int16_t x)
{
    if (x == 0)
        return 0;
    const double mag = std::abs(static_cast<double>(x));
    // A hair of tolerance so that full scale maps exactly onto full scale.
    double y = std::trunc((32767.0 / std::log(20.0)) * std::log(1.0 + 19.0 * mag / 32767.0) + 1e-9);
    y = std::min(y, 32767.0);
    return static_cast<std::int16_t>(x < 0 ? -y : y);
}
