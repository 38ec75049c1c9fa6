// ShowSnapshot of a large configuration: every view refilled from the snapshot.
#include "ScriptedMessageService.h"
#include "Startup.h"
#include "TestFolders.h"

#include <QApplication>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

namespace {

TFormServerSetup* g_window = nullptr;

void FillSnapshot(ConfigSnapshot& snap, int accounts, int numbers)
{
    snap.Accounts.clear();
    snap.Numbers.clear();
    for (int i = 0; i < accounts; ++i) {
        // Names in a scrambled order so that sorting has work to do.
        const QByteArray name = (i % 2 ? "user" : "USER") + QByteArray::number((i * 7919) % accounts);
        snap.Accounts.append({name, "pw" + QByteArray::number(i), QByteArray::number(i % 8 + 1)});
    }
    for (int i = 0; i < numbers; ++i)
        snap.Numbers.append("+49 30 " + QByteArray::number((i * 104729) % 1000003));
}

void BM_ShowSnapshot(benchmark::State& state)
{
    const int count = int(state.range(0));
    FillSnapshot(g_window->Snapshot(), count, count);
    for (auto _ : state) {
        g_window->ShowSnapshot();
        QApplication::processEvents(); // includes the deferred sorting and layout of the views
    }
    if (g_window->ListViewUserID->topLevelItemCount() != count || g_window->NumberListView->topLevelItemCount() != count)
        state.SkipWithError("views not filled");
    state.SetItemsProcessed(state.iterations() * 2 * count);
}
BENCHMARK(BM_ShowSnapshot)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TempWorkFolder work;
    ScriptedMessageService messages;
    ServerSetupOptions options;
    options.workFolder = work.path();
    options.captureDevices = [] { return QStringList(); };
    PellaroWindows windows = CreatePellaroWindows(messages, options);
    g_window = windows.FormServerSetup.get();
    g_window->show();
    QApplication::processEvents();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
