// Start-up to the first painted window: the program's windows against an empty QMainWindow,
// each started as a fresh process the same way, alternately, in one run. Prints medians.
// Usage: bench_startup [runs]        (default 21 runs of each)
//        bench_startup --probe empty|pellaro   (one start; prints the first paint's time)
#include "QtMessageService.h"
#include "Startup.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <vector>

namespace {

long long MonotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// Prints the time of the first paint of the watched window and ends the process.
class FirstPaint final : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType()) {
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            const long long cpuUs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL +
                                    usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
            std::printf("%lld %lld\n", MonotonicNs(), cpuUs);
            std::fflush(stdout);
            std::_Exit(0);
        }
        return false;
    }
};

int Probe(int argc, char** argv, const QByteArray& kind)
{
    QApplication app(argc, argv);
    FirstPaint watcher;
    app.installEventFilter(&watcher);
    if (kind == "empty") {
        QMainWindow empty;
        empty.resize(555, 480);
        empty.show();
        return QApplication::exec();
    }
    if (kind == "text") {
        // For comparison: the least a window with text and a menu pays (font set-up, menu bar).
        QMainWindow window;
        window.menuBar()->addMenu(QStringLiteral("&File"));
        window.setCentralWidget(new QLabel(QStringLiteral("Edit user list:")));
        window.resize(555, 480);
        window.show();
        return QApplication::exec();
    }
    QApplication::setApplicationName(ApplicationTitle());
    QtMessageService messages;
    PellaroWindows windows = CreatePellaroWindows(messages);
    windows.FormServerSetup->show();
    return QApplication::exec();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Start
{
    double wallMs = -1; // process start to first paint
    double cpuMs = -1;  // processor time the process used until then
};

Start StartOnce(const QString& self, const char* kind, const QString& dataHome)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    const long long start = MonotonicNs();
    p.start(self, {QStringLiteral("--probe"), QString::fromLatin1(kind)});
    if (!p.waitForFinished(30000))
        return {};
    const QList<QByteArray> fields = p.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 2 || fields[0].toLongLong() <= start)
        return {};
    return {(fields[0].toLongLong() - start) / 1e6, fields[1].toLongLong() / 1e3};
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && qstrcmp(argv[1], "--probe") == 0)
        return Probe(argc, argv, argv[2]);

    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 21;
    QTemporaryDir dataHome; // the program's work folder, created by the first start
    const QString self = QCoreApplication::applicationFilePath();
    std::vector<double> empty, pellaro, emptyCpu, pellaroCpu, text, textCpu;
    StartOnce(self, "pellaro", dataHome.path()); // warm the caches and create the work folder
    StartOnce(self, "empty", dataHome.path());
    for (int i = 0; i < runs; ++i) {
        const Start e = StartOnce(self, "empty", dataHome.path());
        const Start p = StartOnce(self, "pellaro", dataHome.path());
        const Start t = StartOnce(self, "text", dataHome.path());
        if (e.wallMs < 0 || p.wallMs < 0 || t.wallMs < 0) {
            std::fprintf(stderr, "a start failed\n");
            return 1;
        }
        empty.push_back(e.wallMs);
        pellaro.push_back(p.wallMs);
        emptyCpu.push_back(e.cpuMs);
        pellaroCpu.push_back(p.cpuMs);
        text.push_back(t.wallMs);
        textCpu.push_back(t.cpuMs);
    }
    std::printf("start-up to first paint, %d runs each, alternating (platform %s)\n", runs,
                qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("                       wall median    min     cpu median\n");
    std::printf("  empty QMainWindow :  %8.1f ms %7.1f ms %8.1f ms\n", Median(empty),
                *std::min_element(empty.begin(), empty.end()), Median(emptyCpu));
    std::printf("  pellaro windows   :  %8.1f ms %7.1f ms %8.1f ms\n", Median(pellaro),
                *std::min_element(pellaro.begin(), pellaro.end()), Median(pellaroCpu));
    std::printf("  menu + one label  :  %8.1f ms %7.1f ms %8.1f ms\n", Median(text),
                *std::min_element(text.begin(), text.end()), Median(textCpu));
    std::printf("  ratio pellaro/empty: %7.2f    %7.2f    %8.2f\n", Median(pellaro) / Median(empty),
                *std::min_element(pellaro.begin(), pellaro.end()) / *std::min_element(empty.begin(), empty.end()),
                Median(pellaroCpu) / Median(emptyCpu));
    std::printf("  ratio pellaro/label: %7.2f    %7.2f    %8.2f\n", Median(pellaro) / Median(text),
                *std::min_element(pellaro.begin(), pellaro.end()) / *std::min_element(text.begin(), text.end()),
                Median(pellaroCpu) / Median(textCpu));
    return 0;
}
