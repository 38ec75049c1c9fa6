#include "Converter.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace {

QString Num(MMRESULT r)
{
    return QString::number(r);
}

// The first 18 + extra-size bytes of a 128-byte format record.
QByteArray FmtBytes(const tWaveFormatOut& format)
{
    const tWAVEFORMATEX f = FormatOf(format);
    const int extra = std::min<int>(f.cbSize, kWaveFormatOutBytes - kWaveFormatExBytes);
    return QByteArray(reinterpret_cast<const char*>(format.bytes), kWaveFormatExBytes + extra);
}

// Positions f at the start of the RIFF form's contents and finds a chunk there.
MMRESULT FindInForm(TRiffFile& f, const tRiffChunk& riff, tRiffChunk& ck, const char* id)
{
    if (f.Seek(static_cast<qint64>(riff.dwDataOffset) + 4) < 0)
        return MMIOERR::CannotSeek;
    ck = tRiffChunk{};
    ck.ckid = TRiffFile::FourCC(id);
    return f.Descend(ck, &riff, TRiffFile::Find::Chunk);
}

} // namespace

TConverter::TConverter(QObject* owner, IMessageService& messages) : QObject(owner), m_messages(messages) {}

TConverter::~TConverter()
{
    if (IsWriting())
        Close(); // a file left open still gets its true sizes
    Release();
}

tWAVEFORMATEX TConverter::Pcm16Mono(std::uint32_t rate)
{
    return PcmFormat(rate, 1, 16);
}

std::uint32_t TConverter::InBufferSize(const tWaveFormatOut& format, std::uint32_t bytes, MMRESULT& error)
{
    const tWAVEFORMATEX target = FormatOf(format);
    const tWAVEFORMATEX src = Pcm16Mono(target.nSamplesPerSec);
    std::unique_ptr<TAcmStream> s1, s2;
    if (TAcmStream::Open(s1, src, src, 0) != MMSYSERR::NoError) {
        m_messages.ShowMessage(QStringLiteral("Error opening stream (22050-8000)"));
        return 0;
    }
    MMRESULT r = TAcmStream::Open(s2, src, target, 0);
    if (r != MMSYSERR::NoError)
        r = TAcmStream::Open(s2, src, target, AcmOpen::NonRealtime);
    if (r != MMSYSERR::NoError) {
        error = r;
        return 0;
    }
    std::uint32_t x = 0, y = 0, z = 0, block = 0;
    r = s1->Size(bytes, x, AcmSize::OutputForInput);
    if (r == MMSYSERR::NoError)
        r = s2->Size(x, y, AcmSize::OutputForInput);
    if (r == MMSYSERR::NoError)
        r = s2->Size(y, z, AcmSize::InputForOutput);
    if (r == MMSYSERR::NoError)
        r = s1->Size(z, block, AcmSize::InputForOutput);
    if (r != MMSYSERR::NoError) {
        error = r;
        return 0;
    }
    return block;
}

bool TConverter::InitRecordSz(const tWaveFormatOut& format, std::uint32_t chunkBytes, const QString& fileName,
                              std::uint32_t rate)
{
    if (IsWriting())
        Close();
    Release();
    m_writeFailed = false;
    m_writeError.clear();
    const tWAVEFORMATEX target = FormatOf(format);
    m_chunkSize = chunkBytes;
    m_source = m_intermediate = Pcm16Mono(rate);

    MMRESULT r = TAcmStream::Open(m_stream1, m_source, m_intermediate, 0);
    if (r != MMSYSERR::NoError) {
        m_messages.ShowMessage(QStringLiteral("Error opening stream (22050-8000) Result = ") + Num(r));
        Release();
        return false;
    }
    r = TAcmStream::Open(m_stream2, m_intermediate, target, 0);
    if (r != MMSYSERR::NoError)
        r = TAcmStream::Open(m_stream2, m_source, target, AcmOpen::NonRealtime);
    if (r != MMSYSERR::NoError) {
        Release();
        m_messages.ShowMessage(QStringLiteral("Error opening stream rResult = ") + Num(r));
        return false;
    }

    // Sizes: x intermediate bytes per chunk, y encoded bytes per block, and the block
    // size that makes whole blocks on both stages.
    std::uint32_t x = 0, firstBlock = 0, y = 0, z = 0, block = 0;
    r = m_stream1->Size(m_chunkSize, x, AcmSize::OutputForInput);
    if (r == MMSYSERR::NoError)
        r = m_stream1->Size(x, firstBlock, AcmSize::InputForOutput);
    if (r == MMSYSERR::NoError)
        r = m_stream2->Size(x, y, AcmSize::OutputForInput);
    if (r == MMSYSERR::NoError)
        r = m_stream2->Size(y, z, AcmSize::InputForOutput);
    if (r == MMSYSERR::NoError)
        r = m_stream1->Size(z, block, AcmSize::InputForOutput);
    std::uint32_t out1 = x;
    if (r == MMSYSERR::NoError)
        r = m_stream1->Size(block, out1, AcmSize::OutputForInput);
    if (r != MMSYSERR::NoError) {
        Release();
        m_messages.ShowMessage(QStringLiteral("Error Prepare Header rResult = ") + Num(r));
        return false;
    }
    m_blockSize = block;
    // Buffers big enough for both the first and the final block size.
    m_block.assign(std::max(firstBlock, block), 0);
    m_out1.assign(std::max(x, out1), 0);
    m_out2.assign(y, 0);
    m_header1 = tAcmStreamHeader{};
    m_header1.pbSrc = m_block.data();
    m_header1.cbSrcLength = m_blockSize;
    m_header1.pbDst = m_out1.data();
    m_header1.cbDstLength = static_cast<std::uint32_t>(m_out1.size());
    r = m_stream1->PrepareHeader(m_header1);
    if (r == MMSYSERR::NoError) {
        m_header2 = tAcmStreamHeader{};
        m_header2.pbSrc = m_out1.data();
        m_header2.cbSrcLength = x;
        m_header2.pbDst = m_out2.data();
        m_header2.cbDstLength = y;
        r = m_stream2->PrepareHeader(m_header2);
    }
    if (r != MMSYSERR::NoError) {
        Release();
        m_messages.ShowMessage(QStringLiteral("Error Prepare Header rResult = ") + Num(r));
        return false;
    }

    if (m_file.Open(fileName, TRiffFile::Mode::Create) != MMSYSERR::NoError ||
        !WriteHead(m_file, FmtBytes(format), m_riff, m_data)) {
        Release();
        m_messages.ShowMessage(QStringLiteral("Error opening/creating WaveFile -> ") + fileName);
        return false;
    }
    m_consumedTotal = 0;
    m_fill = 0;
    return true;
}

bool TConverter::WriteHead(TRiffFile& file, const QByteArray& fmtBytes, tRiffChunk& riff, tRiffChunk& data)
{
    riff = tRiffChunk{};
    riff.fccType = TRiffFile::FourCC("WAVE");
    if (file.CreateChunk(riff, TRiffFile::Create::Riff) != MMSYSERR::NoError)
        return false;
    tRiffChunk fmt;
    fmt.ckid = TRiffFile::FourCC("fmt");
    if (file.CreateChunk(fmt, TRiffFile::Create::Chunk) != MMSYSERR::NoError ||
        file.Write(fmtBytes.constData(), fmtBytes.size()) != fmtBytes.size() || file.Ascend(fmt) != MMSYSERR::NoError)
        return false;
    m_fact = tRiffChunk{};
    m_fact.ckid = TRiffFile::FourCC("fact");
    const char zero[4] = {};
    if (file.CreateChunk(m_fact, TRiffFile::Create::Chunk) != MMSYSERR::NoError || file.Write(zero, 4) != 4 ||
        file.Ascend(m_fact) != MMSYSERR::NoError)
        return false;
    m_note.clear();
    if (OnGetNote)
        OnGetNote(this, m_note);
    if (!m_note.isEmpty()) {
        tRiffChunk list;
        list.fccType = TRiffFile::FourCC("adtl");
        tRiffChunk note;
        note.ckid = TRiffFile::FourCC("note");
        const QByteArray text = m_note + '\0';
        if (file.CreateChunk(list, TRiffFile::Create::List) != MMSYSERR::NoError ||
            file.CreateChunk(note, TRiffFile::Create::Chunk) != MMSYSERR::NoError ||
            file.Write(text.constData(), text.size()) != text.size() || file.Ascend(note) != MMSYSERR::NoError ||
            file.Ascend(list) != MMSYSERR::NoError)
            return false;
    }
    data = tRiffChunk{};
    data.ckid = TRiffFile::FourCC("data");
    return file.CreateChunk(data, TRiffFile::Create::Chunk) == MMSYSERR::NoError;
}

bool TConverter::ConvertBlock(std::uint32_t bytes, std::uint32_t stage2Flags)
{
    m_header1.cbSrcLength = bytes;
    if (m_stream1->Convert(m_header1, AcmConvert::BlockAlign) != MMSYSERR::NoError)
        return false;
    m_header2.cbSrcLength = m_header1.cbDstLengthUsed;
    if (m_header2.cbSrcLength == 0)
        return true;
    if (m_stream2->Convert(m_header2, stage2Flags) != MMSYSERR::NoError)
        return false;
    if (m_header2.cbDstLengthUsed == 0 && m_stream2->Convert(m_header2, AcmConvert::End) != MMSYSERR::NoError)
        return false;
    m_consumedTotal += m_header2.cbSrcLengthUsed;
    if (m_header2.cbDstLengthUsed > 0) {
        bool skip = false;
        if (OnOutput)
            OnOutput(this, skip);
        if (!skip && m_file.Write(m_out2.data(), m_header2.cbDstLengthUsed) != m_header2.cbDstLengthUsed) {
            NoteWriteFailure();
            return false;
        }
    }
    return true;
}

void TConverter::NoteWriteFailure()
{
    if (m_writeFailed)
        return;
    m_writeFailed = true;
    m_writeError = m_file.ErrorText();
}

bool TConverter::Convert2Wave(const void* chunk)
{
    // A file with a gap is no use: after a failed write nothing more goes into it.
    if (!IsWriting() || !chunk || m_blockSize == 0 || m_writeFailed)
        return false;
    // Collects the chunk into blocks and converts every full block (a chunk larger than
    // the free room is taken in as many steps as it needs).
    const auto* p = static_cast<const std::uint8_t*>(chunk);
    std::uint32_t remaining = m_chunkSize;
    while (remaining > 0) {
        const std::uint32_t n = std::min(remaining, m_blockSize - m_fill);
        std::memcpy(m_block.data() + m_fill, p, n);
        m_fill += n;
        p += n;
        remaining -= n;
        if (m_fill < m_blockSize)
            return true;
        m_fill = 0;
        if (!ConvertBlock(m_blockSize, AcmConvert::BlockAlign))
            return false;
    }
    return true;
}

std::int32_t TConverter::Close()
{
    if (!IsWriting()) {
        Release();
        return 0;
    }
    if (m_fill > 0 && !m_writeFailed) {
        ConvertBlock(m_fill, AcmConvert::End | AcmConvert::BlockAlign);
        m_fill = 0;
    }
    // The sizes go into the head and the buffered data reaches the disk only now: a
    // failure here also leaves the file incomplete.
    if (!m_writeFailed &&
        (m_file.Ascend(m_data) != MMSYSERR::NoError || m_file.Ascend(m_riff) != MMSYSERR::NoError))
        NoteWriteFailure();
    if (!m_writeFailed && m_file.Close() != MMSYSERR::NoError)
        NoteWriteFailure();
    m_file.Close();
    const double perSecond = static_cast<double>(m_intermediate.nAvgBytesPerSec) + 0.5;
    Release();
    return static_cast<std::int32_t>(static_cast<double>(m_consumedTotal) / perSecond);
}

void TConverter::Release()
{
    if (m_stream1 && (m_header1.fdwStatus & AcmStatus::Prepared))
        m_stream1->UnprepareHeader(m_header1);
    if (m_stream2 && (m_header2.fdwStatus & AcmStatus::Prepared))
        m_stream2->UnprepareHeader(m_header2);
    m_header1 = tAcmStreamHeader{};
    m_header2 = tAcmStreamHeader{};
    m_stream1.reset();
    m_stream2.reset();
    m_out1 = {};
    m_out2 = {};
    m_block = {};
    m_fill = 0;
    m_file.Close();
}

bool TConverter::IsPossible(const tWaveFormatOut& format)
{
    const tWAVEFORMATEX src = Pcm16Mono(22050);
    const tWAVEFORMATEX target = FormatOf(format);
    std::unique_ptr<TAcmStream> none;
    return TAcmStream::Open(none, src, target, AcmOpen::NonRealtime | AcmOpen::Query) == MMSYSERR::NoError ||
           TAcmStream::Open(none, src, target, AcmOpen::Query) == MMSYSERR::NoError;
}

std::int32_t TConverter::CutWaveFile(const QString& fileName, std::int32_t seconds)
{
    const QFileInfo info(fileName);
    if (!info.isFile() || info.size() < 100)
        return 0;
    TRiffFile in;
    if (in.Open(fileName, TRiffFile::Mode::Read) != MMSYSERR::NoError)
        return 0;
    tRiffChunk riff;
    riff.fccType = TRiffFile::FourCC("WAVE");
    tRiffChunk fmt, data;
    if (in.Descend(riff, nullptr, TRiffFile::Find::Riff) != MMSYSERR::NoError ||
        FindInForm(in, riff, fmt, "fmt") != MMSYSERR::NoError)
        return 0;
    QByteArray fmtBytes(static_cast<int>(std::min<std::uint32_t>(fmt.cksize, 4096)), '\0');
    if (in.Read(fmtBytes.data(), fmtBytes.size()) != fmtBytes.size() || fmtBytes.size() < 16)
        return 0;
    if (FindInForm(in, riff, data, "data") != MMSYSERR::NoError)
        return 0;

    const tWAVEFORMATEX format =
        ReadFormat(reinterpret_cast<const unsigned char*>(fmtBytes.constData()), static_cast<int>(fmtBytes.size()));
    std::int32_t bytesPerSecond = static_cast<std::int32_t>(format.nAvgBytesPerSec);
    std::int32_t unit = format.nBlockAlign;
    if (OnByteInfo)
        OnByteInfo(this, bytesPerSecond, unit);
    if (unit <= 0)
        unit = 256;
    while (unit < 256)
        unit *= 2;
    if (bytesPerSecond <= 0)
        return 0; // no rate to count seconds with: the file stays as it is

    const QString stripName = info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".strip.wav");
    TRiffFile out;
    tRiffChunk outRiff, outData;
    if (out.Open(stripName, TRiffFile::Mode::Create) != MMSYSERR::NoError)
        return 0;
    bool ok = WriteHead(out, fmtBytes, outRiff, outData);

    // Whole units from the start of the data, never past the data chunk.
    const std::int64_t keep =
        static_cast<std::int64_t>(data.cksize) - static_cast<std::int64_t>(seconds) * bytesPerSecond;
    std::int64_t copied = 0;
    if (ok && keep >= 0) {
        const std::int64_t limit = std::min<std::int64_t>(keep, data.cksize);
        const std::int64_t units = limit / unit;
        QByteArray buffer(unit, '\0');
        for (std::int64_t i = 0; i < units; ++i) {
            const qint64 got = in.Read(buffer.data(), unit);
            if (got <= 0)
                break;
            if (out.Write(buffer.constData(), got) != got) {
                ok = false;
                break;
            }
            copied += got;
        }
    }
    ok = ok && out.Ascend(outData) == MMSYSERR::NoError && out.Ascend(outRiff) == MMSYSERR::NoError;
    ok = out.Close() == MMSYSERR::NoError && ok;
    in.Close();
    if (!ok) {
        QFile::remove(stripName); // the given file stays as it was
        return 0;
    }
    if (QFile::exists(stripName)) {
        if (!QFile::remove(fileName)) {
            QFile::remove(stripName);
            return 0;
        }
        QFile::rename(stripName, fileName);
    }
    return static_cast<std::int32_t>(copied / bytesPerSecond);
}

bool TConverter::InitPlay(std::int32_t /*value*/, const QString& fileName)
{
    TRiffFile f;
    if (f.Open(fileName, TRiffFile::Mode::Read) != MMSYSERR::NoError) {
        m_messages.ShowMessage(QStringLiteral("[TConverter::InitPlay]Error opening/creating WaveFile -> ") + fileName);
        return false;
    }
    tRiffChunk riff;
    riff.fccType = TRiffFile::FourCC("WAVE");
    tRiffChunk fmt, data;
    MMRESULT r = f.Descend(riff, nullptr, TRiffFile::Find::Riff);
    if (r == MMSYSERR::NoError)
        r = FindInForm(f, riff, fmt, "fmt");
    unsigned char raw[kWaveFormatExBytes] = {};
    if (r == MMSYSERR::NoError && f.Read(raw, std::min<qint64>(fmt.cksize, kWaveFormatExBytes)) < 16)
        r = MMIOERR::CannotRead;
    if (r == MMSYSERR::NoError)
        r = FindInForm(f, riff, data, "data");
    if (r != MMSYSERR::NoError) {
        m_messages.ShowMessage(QStringLiteral("Error ") + Num(r));
        return false;
    }
    tWAVEFORMATEX src = ReadFormat(raw, static_cast<int>(std::min<std::uint32_t>(fmt.cksize, kWaveFormatExBytes)));
    src.cbSize = 0;
    std::unique_ptr<TAcmStream> stream;
    const tWAVEFORMATEX dst = Pcm16Mono(8000);
    r = TAcmStream::Open(stream, src, dst, 0);
    if (r != MMSYSERR::NoError)
        r = TAcmStream::Open(stream, src, dst, AcmOpen::NonRealtime);
    std::uint32_t outSize = 0;
    if (r == MMSYSERR::NoError)
        r = stream->Size(1024, outSize, AcmSize::OutputForInput);
    if (r != MMSYSERR::NoError) {
        m_messages.ShowMessage(QStringLiteral("TConverter::InitPlay]Error opening stream(2)"));
        return false;
    }
    m_messages.ShowMessage(QStringLiteral("dwOutBufferSize ") + QString::number(outSize));
    m_messages.ShowMessage(QStringLiteral("niBufferSize ") + QString::number(1024));
    m_messages.ShowMessage(QStringLiteral("File Length ") + QString::number(data.cksize));
    return true;
}
