// Plays a generated a-law message through TACMWaveOut on the virtual back-end in real
// time and reports the CPU time the process used and the gaps the device heard.
//   bench_audio_playback [--seconds 60] [--speed 1] [--runs 1] [--mode 0]
// --mode is the player's ChannelMode (3: 44100 Hz stereo through the resampler).
#include "ACMWaveOut.h"
#include "G711.h"
#include "Riff.h"
#include "VirtualSound.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

class PrintMessages final : public IMessageService
{
public:
    void ShowMessage(const QString& t) override { std::fprintf(stderr, "%s\n", qPrintable(t)); }
    MsgResult Ask(const QString& t, const QString&, MsgIcon, MsgButtons) override
    {
        ShowMessage(t);
        return MsgResult::Cancel;
    }
    void ShowError(const QString& t) override { ShowMessage(t); }
};

double CpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

bool WriteMessage(const QString& path, int seconds)
{
    TRiffFile f;
    if (f.Open(path, TRiffFile::Mode::Create) != 0)
        return false;
    tRiffChunk riff, fmt, fact, data;
    riff.fccType = TRiffFile::FourCC("WAVE");
    f.CreateChunk(riff, TRiffFile::Create::Riff);
    fmt.ckid = TRiffFile::FourCC("fmt");
    f.CreateChunk(fmt, TRiffFile::Create::Chunk);
    const QByteArray fb = WriteFormat(G711Format(WaveTag::ALaw));
    f.Write(fb.constData(), fb.size());
    f.Ascend(fmt);
    fact.ckid = TRiffFile::FourCC("fact");
    f.CreateChunk(fact, TRiffFile::Create::Chunk);
    f.Write("\0\0\0\0", 4);
    f.Ascend(fact);
    data.ckid = TRiffFile::FourCC("data");
    f.CreateChunk(data, TRiffFile::Create::Chunk);
    std::vector<std::uint8_t> codes(static_cast<size_t>(seconds) * 8000);
    for (size_t i = 0; i < codes.size(); ++i)
        codes[i] = G711::LinearToALaw(static_cast<std::int16_t>(9000 * std::sin(static_cast<double>(i) * 0.3)));
    f.Write(codes.data(), static_cast<qint64>(codes.size()));
    f.Ascend(data);
    f.Ascend(riff);
    return f.Close() == 0;
}

struct Result
{
    double cpu = 0, wall = 0;
    int gaps = 0;
    double gapMs = 0;
    qsizetype played = 0;
    bool ended = false;
};

Result RunOnce(const QString& path, double speed, int mode)
{
    VirtualSoundConfig cfg;
    cfg.clock = std::make_shared<SteadyAudioClock>(speed);
    VirtualSoundSystem sound(cfg);
    PrintMessages messages;
    TACMWaveOut player(nullptr, sound, messages);
    player.SetChannelMode(mode);
    QEventLoop loop;
    Result r;
    player.OnEnd = [&](QObject*) {
        r.ended = true;
        loop.quit();
    };
    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    if (!player.Open(path, -1) || !player.Play())
        return r;
    loop.exec();
    r.cpu = CpuSeconds() - cpu0;
    r.wall = static_cast<double>(wall.elapsed()) / 1000.0;
    const auto log = sound.Playbacks();
    for (const VirtualPlayback& p : log) {
        r.gaps += p.gaps;
        r.gapMs += static_cast<double>(p.gapNs) / 1e6;
        r.played += p.played.size();
    }
    return r;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int seconds = 60, runs = 1, mode = 0;
    double speed = 1.0;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--seconds"))
            seconds = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--speed"))
            speed = args[i + 1].toDouble();
        else if (args[i] == QLatin1String("--runs"))
            runs = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--mode"))
            mode = args[i + 1].toInt();
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("MESS340.WAV"));
    if (!WriteMessage(path, seconds)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::vector<double> cpu, load;
    int gaps = 0;
    for (int i = 0; i < runs; ++i) {
        const Result r = RunOnce(path, speed, mode);
        if (!r.ended) {
            std::fprintf(stderr, "run %d: playback did not end\n", i + 1);
            return 1;
        }
        const double percent = 100.0 * r.cpu / r.wall;
        std::printf("run %d: %d s message, channel mode %d, speed %.1f: wall %.2f s, CPU %.3f s (%.3f %% of one core), "
                    "gaps %d (%.1f ms), %lld bytes played\n",
                    i + 1, seconds, mode, speed, r.wall, r.cpu, percent, r.gaps, r.gapMs,
                    static_cast<long long>(r.played));
        cpu.push_back(r.cpu);
        load.push_back(percent);
        gaps += r.gaps;
    }
    std::printf("median: CPU %.3f s, %.3f %% of one core; gaps in all runs: %d\n", Median(cpu), Median(load), gaps);
    return 0;
}
