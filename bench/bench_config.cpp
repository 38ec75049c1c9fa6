// LoadSnapshot and SaveSnapshot of large local configurations.
#include "ConfigSnapshot.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

class SilentMessages final : public IMessageService
{
public:
    void ShowMessage(const QString&) override {}
    MsgResult Ask(const QString&, const QString&, MsgIcon, MsgButtons) override { return MsgResult::Ok; }
    void ShowError(const QString& text) override { qFatal("%s", qPrintable(text)); }
};

ConfigSnapshot MakeSnapshot(int accounts, int numbers)
{
    ConfigSnapshot s;
    s.RecorderType = 1;
    s.DeviceReport = "SV-300 ISE1";
    for (int i = 0; i < accounts; ++i)
        s.Accounts.append({"USER" + QByteArray::number(i), "pw" + QByteArray::number(i * 7),
                           "+49 30 " + QByteArray::number(1000000 + i)});
    for (int i = 0; i < numbers; ++i)
        s.Numbers.append("0049" + QByteArray::number(300000000 + i));
    return s;
}

void BM_SaveSnapshot(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');
    const ConfigSnapshot s = MakeSnapshot(static_cast<int>(state.range(0)), 10000);
    SilentMessages messages;
    for (auto _ : state)
        benchmark::DoNotOptimize(SaveSnapshot(s, folder, messages));
    state.counters["accounts"] = static_cast<double>(state.range(0));
}

void BM_LoadSnapshot(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');
    SilentMessages messages;
    SaveSnapshot(MakeSnapshot(static_cast<int>(state.range(0)), 10000), folder, messages);
    for (auto _ : state) {
        ConfigSnapshot s;
        benchmark::DoNotOptimize(LoadSnapshot(s, folder, messages));
        if (s.Accounts.size() != state.range(0) || s.Numbers.size() != 10000)
            state.SkipWithError("wrong snapshot");
    }
    state.counters["accounts"] = static_cast<double>(state.range(0));
}

BENCHMARK(BM_LoadSnapshot)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveSnapshot)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
