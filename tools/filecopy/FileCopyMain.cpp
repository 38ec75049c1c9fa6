// FileCopy: finishes an update that needs a restart. The update checker starts it with
//   -id <pid> -p "<program path> -u" -f <target> [-f <target> ...]
// and the program then ends. FileCopy waits for that, places the downloaded files from the
// UpdateFolder into the program's folder (all or nothing) and starts the program again with -u.
// It writes what it did to FileCopy.log in the UpdateFolder and to stderr.
//
// Exit codes: 0 placed and restarted; 1 nothing placed (the unchanged program is restarted);
// 2 bad arguments; 3 the program did not end in time; 4 the program could not be restarted.
//
// PELLARO_FILECOPY_WAIT_MS sets how long to wait for the program to end (default 60000).
#include "CopyJob.h"
#include "Updater.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

namespace {

constexpr int DefaultWaitMs = 60000;

// Writes each line to stderr and to the log file (written afresh by every run).
class Log
{
public:
    explicit Log(const QString& path) : m_file(path)
    {
        // The log never follows a link out of the UpdateFolder.
        if (QFileInfo(path).isSymLink())
            QFile::remove(path);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
            Line(QStringLiteral("warning: cannot write the log %1: %2").arg(path, m_file.errorString()));
    }

    void Line(const QString& text)
    {
        const QByteArray line = text.toLocal8Bit();
        std::fprintf(stderr, "FileCopy: %s\n", line.constData());
        std::fflush(stderr);
        if (m_file.isOpen()) {
            m_file.write(QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1() + ' ' + line + '\n');
            m_file.flush();
        }
    }

private:
    QFile m_file;
};

int WaitMs(Log& log)
{
    const QByteArray text = qgetenv("PELLARO_FILECOPY_WAIT_MS");
    if (text.isEmpty())
        return DefaultWaitMs;
    bool ok = false;
    const int ms = text.toInt(&ok);
    if (!ok || ms < 0) {
        log.Line(QStringLiteral("warning: PELLARO_FILECOPY_WAIT_MS=\"%1\" is not a number of milliseconds; "
                                "waiting %2 ms")
                     .arg(QString::fromLocal8Bit(text), QString::number(DefaultWaitMs)));
        return DefaultWaitMs;
    }
    return ms;
}

bool Restart(const QString& program, Log& log)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments({QStringLiteral("-u")});
    qint64 pid = 0;
    if (!process.startDetached(&pid)) {
        log.Line(QStringLiteral("error: cannot start %1 -u: %2").arg(program, process.errorString()));
        return false;
    }
    log.Line(QStringLiteral("started %1 -u as process %2").arg(program, QString::number(pid)));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString updateFolder = UpdateFolder();
    Log log(updateFolder + QStringLiteral("FileCopy.log"));

    CopierRequest request;
    QString error;
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (!ParseCopierArguments(args, &request, &error)) {
        log.Line(QStringLiteral("error: bad arguments: %1").arg(error));
        log.Line(QStringLiteral("usage: FileCopy -id <pid> -p \"<program path> -u\" -f <file> [-f <file> ...]"));
        return 2;
    }
    const QString programFolder = QFileInfo(request.program).absolutePath() + QLatin1Char('/');
    log.Line(
        QStringLiteral("update of %1 (process %2), %3 file(s) from %4")
            .arg(request.program, QString::number(request.pid), QString::number(request.targets.size()), updateFolder));

    const int waitMs = WaitMs(log);
    switch (WaitForProgramEnd(request.pid, request.program, waitMs)) {
    case WaitResult::Ended:
        log.Line(QStringLiteral("process %1 has ended").arg(request.pid));
        break;
    case WaitResult::OtherProgram:
        log.Line(QStringLiteral("process %1 now runs another program; %2 has ended")
                     .arg(QString::number(request.pid), request.program));
        break;
    case WaitResult::TimedOut:
        log.Line(QStringLiteral("error: process %1 (%2) did not end within %3 ms; nothing was changed")
                     .arg(QString::number(request.pid), request.program, QString::number(waitMs)));
        return 3;
    }

    const bool placed = PlaceUpdate(request.targets, updateFolder, programFolder, request.program,
                                    [&log](const QString& line) { log.Line(line); });
    if (!Restart(request.program, log))
        return 4;
    if (!placed) {
        log.Line(QStringLiteral("the update was not installed"));
        return 1;
    }
    log.Line(QStringLiteral("the update is installed"));
    return 0;
}
