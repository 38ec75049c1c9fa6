// Encoding cost of the message recording: one captured block through TConverter, and
// the import of an audio file (read, mix, resample, encode, write).
#include "AudioImport.h"
#include "Converter.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

class SilentMessages final : public IMessageService
{
public:
    void ShowMessage(const QString&) override {}
    MsgResult Ask(const QString&, const QString&, MsgIcon, MsgButtons) override { return MsgResult::Ok; }
    void ShowError(const QString&) override {}
};

// One 256 ms block (2048 samples, 4096 bytes) encoded to a-law and written.
void BM_Convert2WaveBlock(benchmark::State& state)
{
    QTemporaryDir dir;
    SilentMessages messages;
    TConverter conv(nullptr, messages);
    std::vector<std::int16_t> block(2048);
    for (int i = 0; i < 2048; ++i)
        block[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(12000 * std::sin(i * 0.05));
    conv.InitRecord(FormatOut(G711Format(WaveTag::ALaw)), 4096, dir.filePath(QStringLiteral("b.wav")));
    for (auto _ : state)
        benchmark::DoNotOptimize(conv.Convert2Wave(block.data()));
    conv.Close();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 4096);
}
BENCHMARK(BM_Convert2WaveBlock);

// Importing 30 s of sound from a file at the given rate and channel count.
void BM_ImportAudioFile(benchmark::State& state)
{
    const int rate = static_cast<int>(state.range(0));
    const int channels = static_cast<int>(state.range(1));
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.wav"));
    QProcess sox;
    sox.start(QStringLiteral("sox"),
              {QStringLiteral("-n"), QStringLiteral("-r"), QString::number(rate), QStringLiteral("-c"),
               QString::number(channels), QStringLiteral("-b"), QStringLiteral("16"), source, QStringLiteral("synth"),
               QStringLiteral("30"), QStringLiteral("sine"), QStringLiteral("440")});
    if (!sox.waitForFinished(30000) || sox.exitCode() != 0) {
        state.SkipWithError("sox could not make the source file");
        return;
    }
    SilentMessages messages;
    const QString target = dir.filePath(QStringLiteral("announce.wav"));
    for (auto _ : state) {
        const AudioImportResult r = ImportAudioFile(source, target, WaveTag::ALaw, messages);
        if (!r.ok) {
            state.SkipWithError("import failed");
            return;
        }
    }
}
BENCHMARK(BM_ImportAudioFile)->Args({8000, 1})->Args({44100, 2})->Args({48000, 1})->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
