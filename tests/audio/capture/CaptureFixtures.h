#pragma once
// Test material made at test time: real speech from espeak-ng turned into 8000 Hz
// 16-bit mono by sox, and sox's own G.711 encoding of given samples.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <vector>

#include <sys/resource.h>

namespace CaptureFixture {

struct RunResult
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline RunResult Run(const QString& program, const QStringList& args, const QByteArray& input = {},
                     const QString& workDir = {})
{
    RunResult r;
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        r.err = "cannot start " + program.toLocal8Bit();
        return r;
    }
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        r.err = "timed out: " + program.toLocal8Bit();
        return r;
    }
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}

// Speech as an 8000 Hz 16-bit mono WAV (path), the text spoken `times` times in a row.
// Returns an error text, empty on success.
inline QString MakeSpeechWav(const QString& path, const QString& text, int times = 1)
{
    const QString raw = path + QStringLiteral(".espeak.wav");
    RunResult e = Run(QStringLiteral("espeak-ng"), {QStringLiteral("-w"), raw, text});
    if (e.exitCode != 0)
        return QStringLiteral("espeak-ng failed (is it installed?): ") + QString::fromLocal8Bit(e.err);
    QStringList args{QStringLiteral("-D"),
                     raw,
                     QStringLiteral("-r"),
                     QStringLiteral("8000"),
                     QStringLiteral("-c"),
                     QStringLiteral("1"),
                     QStringLiteral("-b"),
                     QStringLiteral("16"),
                     QStringLiteral("-e"),
                     QStringLiteral("signed-integer"),
                     path};
    if (times > 1)
        args << QStringLiteral("repeat") << QString::number(times - 1);
    RunResult s = Run(QStringLiteral("sox"), args);
    QFile::remove(raw);
    if (s.exitCode != 0)
        return QStringLiteral("sox failed (is it installed?): ") + QString::fromLocal8Bit(s.err);
    return {};
}

// The 16-bit samples of a WAV file, through sox (raw signed little-endian).
inline std::vector<std::int16_t> ReadSamples(const QString& wav)
{
    RunResult r =
        Run(QStringLiteral("sox"), {QStringLiteral("-D"), wav, QStringLiteral("-t"), QStringLiteral("raw"),
                                    QStringLiteral("-e"), QStringLiteral("signed-integer"), QStringLiteral("-b"),
                                    QStringLiteral("16"), QStringLiteral("-L"), QStringLiteral("-")});
    std::vector<std::int16_t> v(static_cast<std::size_t>(r.out.size() / 2));
    std::memcpy(v.data(), r.out.constData(), v.size() * 2);
    return v;
}

inline QByteArray Bytes(const std::int16_t* s, std::size_t n)
{
    return QByteArray(reinterpret_cast<const char*>(s), static_cast<qsizetype>(n * 2));
}

// sox's own encoding ("a-law" or "u-law") of 8000 Hz 16-bit mono samples.
inline QByteArray SoxEncode(const QByteArray& pcm16, const QString& encoding)
{
    const QStringList common{QStringLiteral("-r"), QStringLiteral("8000"), QStringLiteral("-c"), QStringLiteral("1")};
    QStringList args{QStringLiteral("-D"), QStringLiteral("-t"), QStringLiteral("raw")};
    args << common << QStringLiteral("-e") << QStringLiteral("signed-integer") << QStringLiteral("-b")
         << QStringLiteral("16") << QStringLiteral("-L") << QStringLiteral("-") << QStringLiteral("-t")
         << QStringLiteral("raw") << common << QStringLiteral("-e") << encoding << QStringLiteral("-b")
         << QStringLiteral("8") << QStringLiteral("-");
    return Run(QStringLiteral("sox"), args, pcm16).out;
}

inline std::uint32_t U32(const QByteArray& b, int at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b.at(at + i));
    return v;
}

inline std::uint16_t U16(const QByteArray& b, int at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b.at(at)) |
                                      (static_cast<unsigned char>(b.at(at + 1)) << 8));
}

// The 58-byte head of a message file with n audio bytes, as the recorder expects it.
inline QByteArray MessageHead(std::uint16_t tag, std::uint32_t n)
{
    QByteArray h;
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    auto u16 = [&](std::uint16_t v) {
        h.append(static_cast<char>(v & 0xFF));
        h.append(static_cast<char>(v >> 8));
    };
    h.append("RIFF");
    u32(58 + n - 8);
    h.append("WAVE");
    h.append("fmt ");
    u32(18);
    u16(tag);
    u16(1);
    u32(8000);
    u32(8000);
    u16(1);
    u16(8);
    u16(0);
    h.append("fact");
    u32(4);
    u32(0);
    h.append("data");
    u32(n);
    return h;
}

// Caps the size of every file this process writes (the soft RLIMIT_FSIZE) while it lives,
// so that a write crossing the cap fails part-way the way a full disk does. SIGXFSZ is
// ignored, so the failing write returns an error instead of ending the process.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        m_ok = getrlimit(RLIMIT_FSIZE, &m_saved) == 0;
        rlimit capped = m_saved;
        capped.rlim_cur = bytes;
        m_ok = m_ok && setrlimit(RLIMIT_FSIZE, &capped) == 0;
    }
    ~FileSizeLimit() { Lift(); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool IsSet() const { return m_ok; }
    void Lift()
    {
        if (m_ok)
            setrlimit(RLIMIT_FSIZE, &m_saved);
        m_ok = false;
    }

private:
    rlimit m_saved{};
    bool m_ok = false;
};

} // namespace CaptureFixture
