#include "ACMRecord.h"

#include <QtEndian>

#include <algorithm>
#include <cstdlib>

TACMRecord::TACMRecord(QObject* owner, ISoundSystem& sound, IMessageService& messages)
    : QObject(owner), m_converter(new TConverter(this, messages)), m_recorder(new TRecorder(this, sound, messages))
{
    m_recorder->SetAutoStart(false);
    m_recorder->OnSample = [this](QObject* sender) { SampleReady(sender); };
}

TACMRecord::~TACMRecord()
{
    if (m_converting)
        EndFile();
    StopRecorder();
    // The recorder goes before the converter: no buffer can arrive after this.
    delete m_recorder;
    m_recorder = nullptr;
}

bool TACMRecord::StartRecorder(std::int32_t device)
{
    m_firstBuffer = true;
    MMRESULT error = 0;
    const std::uint32_t a = m_converter->InBufferSize(m_targetFormat, 4096, error);
    if (a == 0)
        return false;
    m_buffer.assign(a / 2, 0);
    const tWAVEFORMATEX target = FormatOf(m_targetFormat);
    m_recorder->Device()->Setid(device);
    m_recorder->Quality()->SetChannels(target.nChannels);
    m_recorder->Quality()->SetFrequency(static_cast<std::int32_t>(target.nSamplesPerSec));
    m_recorder->Quality()->SetBitsPerSample(16);
    m_recorder->SetBufSize(static_cast<std::int32_t>(a / 2)); // closes any open device
    if (!m_recorder->CanOpen())
        return false;
    // A device that opens but does not start is no running capture.
    return m_recorder->StartCapture() == MMSYSERR::NoError;
}

bool TACMRecord::BeginFile(const QString& fileName)
{
    const tWAVEFORMATEX target = FormatOf(m_targetFormat);
    const bool ok = m_converter->InitRecordSz(m_targetFormat, static_cast<std::uint32_t>(m_recorder->BufSize()) * 2,
                                              fileName, target.nSamplesPerSec);
    m_fileFailed = false;
    if (ok)
        m_converting = true;
    return ok;
}

QString TACMRecord::FileErrorText() const
{
    if (m_converter->WriteFailed())
        return m_converter->WriteErrorText();
    return m_fileFailed ? QStringLiteral("the sound could not be encoded") : QString();
}

void TACMRecord::EndFile()
{
    m_converting = false;
    m_duration = m_converter->Close();
}

void TACMRecord::StopRecorder()
{
    if (m_recorder && m_recorder->Active())
        m_recorder->StopCapture();
}

std::uint32_t TACMRecord::PeakLevel() const
{
    return m_recorder && m_recorder->Active() ? m_peak : 0;
}

void TACMRecord::SampleReady(QObject* /*Sender*/)
{
    const std::uint32_t bufSize = static_cast<std::uint32_t>(std::max(0, m_recorder->BufSize()));
    // The buffer holds BufSize samples; a longer delivery cannot happen, but is cut.
    const std::uint32_t n =
        std::min<std::uint32_t>(m_recorder->BytesRecorded() / 2, static_cast<std::uint32_t>(m_buffer.size()));
    if (n != bufSize && m_firstBuffer)
        return; // a short first buffer is dropped; the peak keeps its value
    m_firstBuffer = false;
    if (m_buffer.size() < bufSize)
        return; // not set up by StartRecorder
    const char* data = m_recorder->CurrentData();
    std::uint32_t m = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::int64_t s = qFromLittleEndian<std::int16_t>(data + 2 * i);
        const std::int64_t v = std::clamp<std::int64_t>(s * m_gain, -32768, 32767);
        m_buffer[i] = static_cast<std::int16_t>(v);
        m = std::max(m, static_cast<std::uint32_t>(std::llabs(v)));
    }
    std::fill(m_buffer.begin() + n, m_buffer.begin() + bufSize, 0);
    if (m_converting && !m_fileFailed && !m_converter->Convert2Wave(m_buffer.data())) {
        m_fileFailed = true;
        m_recorder->StopCapture();
        if (OnFileFailed)
            OnFileFailed(this);
    }
    m_peak = m;
}
