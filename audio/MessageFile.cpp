#include "MessageFile.h"

#include "Riff.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>

QString MessageFileNameFor(std::int32_t seconds)
{
    return seconds >= kLongMessageSeconds ? QStringLiteral("MESS340.WAV") : QStringLiteral("MESS340.6");
}

MessagePlacement PlaceMessageFile(const QString& recording, const QString& currentFolder, std::int32_t seconds)
{
    MessagePlacement p;
    p.name = MessageFileNameFor(seconds);
    const QString other = seconds >= kLongMessageSeconds ? QStringLiteral("MESS340.6") : QStringLiteral("MESS340.WAV");

    QFile in(recording);
    if (!in.open(QIODevice::ReadOnly)) {
        p.errorText = recording + QStringLiteral(": ") + in.errorString();
        return p;
    }
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        p.errorText = recording + QStringLiteral(": ") + in.errorString();
        return p;
    }
    QSaveFile out(currentFolder + p.name);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        p.errorText = currentFolder + p.name + QStringLiteral(": ") + out.errorString();
        return p;
    }
    p.copied = true;
    const QString otherPath = currentFolder + other;
    QFile otherFile(otherPath);
    p.otherRemoved = !otherFile.exists() || otherFile.remove();
    if (!p.otherRemoved)
        p.errorText = otherPath + QStringLiteral(": ") + otherFile.errorString();
    return p;
}

QString LawName(std::uint16_t formatTag)
{
    switch (formatTag) {
    case WaveTag::ALaw:
        return QStringLiteral("a-law");
    case WaveTag::MuLaw:
        return QStringLiteral("mu-law");
    case WaveTag::Pcm:
        return QStringLiteral("PCM");
    default:
        return QStringLiteral("format tag %1").arg(formatTag);
    }
}

MessageFileInfo ReadMessageFileInfo(const QString& path)
{
    MessageFileInfo info;
    TRiffFile f;
    if (f.Open(path, TRiffFile::Mode::Read) != MMSYSERR::NoError) {
        info.errorText = f.OpenErrorText();
        return info;
    }
    tRiffChunk riff;
    riff.fccType = TRiffFile::FourCC("WAVE");
    if (f.Descend(riff, nullptr, TRiffFile::Find::Riff) != MMSYSERR::NoError) {
        info.errorText = QStringLiteral("not a RIFF/WAVE file");
        return info;
    }
    tRiffChunk fmt;
    fmt.ckid = TRiffFile::FourCC("fmt");
    unsigned char raw[kWaveFormatExBytes] = {};
    if (f.Descend(fmt, &riff, TRiffFile::Find::Chunk) != MMSYSERR::NoError || fmt.cksize < 16 ||
        f.Read(raw, std::min<qint64>(fmt.cksize, kWaveFormatExBytes)) < 16) {
        info.errorText = QStringLiteral("no format chunk");
        return info;
    }
    info.format = ReadFormat(raw, static_cast<int>(std::min<std::uint32_t>(fmt.cksize, kWaveFormatExBytes)));
    tRiffChunk data;
    data.ckid = TRiffFile::FourCC("data");
    if (f.Seek(static_cast<qint64>(riff.dwDataOffset) + 4) < 0 ||
        f.Descend(data, &riff, TRiffFile::Find::Chunk) != MMSYSERR::NoError) {
        info.errorText = QStringLiteral("no data chunk");
        return info;
    }
    info.dataBytes = static_cast<std::uint32_t>(
        std::clamp<qint64>(f.Size() - data.dwDataOffset, 0, static_cast<qint64>(data.cksize)));
    info.seconds =
        info.format.nAvgBytesPerSec > 0 ? static_cast<double>(info.dataBytes) / info.format.nAvgBytesPerSec : 0.0;
    info.valid = true;
    return info;
}
