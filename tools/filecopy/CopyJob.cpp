#include "CopyJob.h"

#include "Updater.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr qint64 MaxPid = 0x7FFFFFFF;
constexpr int PollMs = 100;

fs::path ToPath(const QString& s)
{
#ifdef Q_OS_WIN
    return fs::path(s.toStdWString());
#else
    return fs::path(QFile::encodeName(s).toStdString());
#endif
}

QString Reason(const std::error_code& ec)
{
    return QString::fromLocal8Bit(ec.message());
}

bool Quoted(const QString& what, const QString& value, QString* error)
{
    *error = what + QStringLiteral(" \"") + value + QLatin1Char('"');
    return false;
}

#ifndef Q_OS_WIN
// The process is gone or only its zombie is left (its parent has not collected it yet).
bool Finished(pid_t pid)
{
    if (::kill(pid, 0) != 0 && errno != EPERM)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        const qsizetype close = text.lastIndexOf(')'); // the name in brackets may hold anything
        if (close >= 0 && close + 2 < text.size()) {
            const char state = text.at(close + 2);
            if (state == 'Z' || state == 'X')
                return true;
        }
    }
    return false;
}

// The program file the process runs, or an empty text when that cannot be read.
QString ProcessProgram(pid_t pid)
{
    const QByteArray link = QStringLiteral("/proc/%1/exe").arg(pid).toLocal8Bit();
    char buffer[4096];
    const ssize_t n = ::readlink(link.constData(), buffer, sizeof buffer - 1);
    if (n <= 0)
        return QString();
    QString path = QFile::decodeName(QByteArray(buffer, static_cast<qsizetype>(n)));
    const QString deleted = QStringLiteral(" (deleted)");
    if (path.endsWith(deleted))
        path.chop(deleted.size());
    return path;
}
#endif

// One file to place.
struct Placement
{
    QString target; // in the UpdateFolder
    QString data;   // target + ".temp" or target
    bool fromTemp = false;
    QString dest;   // in the program folder
    QString staged; // dest + StagedSuffix
    QString backup; // dest + BackupSuffix, a link to (or copy of) the installed file
    bool existed = false;
    bool isStaged = false;
    bool backedUp = false;
    bool placed = false;
};

// The path's folders that do not exist yet, outermost first.
QStringList MissingFolders(const QString& folder)
{
    QStringList missing;
    QString f = QDir::cleanPath(folder);
    while (!QFileInfo(f).exists() && !QFileInfo(f).isSymLink()) {
        missing.prepend(f);
        const QString up = QFileInfo(f).absolutePath();
        if (up == f)
            break;
        f = up;
    }
    return missing;
}

bool SameFile(const QString& a, const QString& b)
{
    if (QDir::cleanPath(a) == QDir::cleanPath(b))
        return true;
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

// Copies data into a new file at staged (never through an existing file or link there).
bool Stage(Placement& p, bool executable, const LogLine& log)
{
    std::error_code ec;
    const fs::path staged = ToPath(p.staged);
    if (fs::symlink_status(staged, ec).type() != fs::file_type::not_found) {
        // A leftover from an interrupted run: ours, and never followed.
        if (!fs::remove(staged, ec) || ec) {
            log(QStringLiteral("error: cannot remove the leftover %1: %2").arg(p.staged, Reason(ec)));
            return false;
        }
    }
    QFile in(p.data);
    if (!in.open(QIODevice::ReadOnly)) {
        log(QStringLiteral("error: cannot read %1: %2").arg(p.data, in.errorString()));
        return false;
    }
    QFile out(p.staged);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        log(QStringLiteral("error: cannot create %1: %2").arg(p.staged, out.errorString()));
        return false;
    }
    p.isStaged = true;
    QByteArray block(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(block.data(), block.size());
        if (n < 0) {
            log(QStringLiteral("error: cannot read %1: %2").arg(p.data, in.errorString()));
            return false;
        }
        if (n == 0)
            break;
        if (out.write(block.constData(), n) != n) {
            log(QStringLiteral("error: cannot write %1: %2").arg(p.staged, out.errorString()));
            return false;
        }
    }
    if (!out.flush()) {
        log(QStringLiteral("error: cannot write %1: %2").arg(p.staged, out.errorString()));
        return false;
    }
#ifndef Q_OS_WIN
    if (::fsync(out.handle()) != 0) {
        log(QStringLiteral("error: cannot write %1: %2").arg(p.staged, QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
#endif
    out.close();

    // The new file takes the installed file's permissions; the program file and any file
    // that replaces an executable one stay executable.
    fs::perms perms = fs::status(staged, ec).permissions();
    if (p.existed) {
        const fs::perms installed = fs::status(ToPath(p.dest), ec).permissions();
        if (!ec)
            perms = installed;
    }
    if (executable) {
        perms |= fs::perms::owner_exec;
        if ((perms & fs::perms::group_read) != fs::perms::none)
            perms |= fs::perms::group_exec;
        if ((perms & fs::perms::others_read) != fs::perms::none)
            perms |= fs::perms::others_exec;
    }
    fs::permissions(staged, perms, fs::perm_options::replace, ec);
    if (ec) {
        log(QStringLiteral("error: cannot set the permissions of %1: %2").arg(p.staged, Reason(ec)));
        return false;
    }
    return true;
}

// Keeps the installed file under its backup name (a hard link, else a copy), then renames
// the staged file over it.
bool Place(Placement& p, const LogLine& log)
{
    std::error_code ec;
    if (p.existed) {
        const fs::path backup = ToPath(p.backup);
        if (fs::symlink_status(backup, ec).type() != fs::file_type::not_found)
            fs::remove(backup, ec);
        fs::create_hard_link(ToPath(p.dest), backup, ec);
        if (ec) {
            std::error_code linkError = ec;
            fs::copy_file(ToPath(p.dest), backup, ec);
            if (ec) {
                log(QStringLiteral("error: cannot keep a copy of %1 as %2: %3 (%4)")
                        .arg(p.dest, p.backup, Reason(ec), Reason(linkError)));
                fs::remove(backup, ec);
                return false;
            }
        }
        p.backedUp = true;
    }
    fs::rename(ToPath(p.staged), ToPath(p.dest), ec);
    if (ec) {
        log(QStringLiteral("error: cannot move %1 into place as %2: %3").arg(p.staged, p.dest, Reason(ec)));
        return false;
    }
    p.isStaged = false;
    p.placed = true;
    return true;
}

// Puts back what was installed and removes everything the run created.
void RollBack(std::vector<Placement>& items, const QStringList& createdFolders, const LogLine& log)
{
    std::error_code ec;
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        Placement& p = *it;
        if (p.placed) {
            if (p.backedUp) {
                fs::rename(ToPath(p.backup), ToPath(p.dest), ec);
                if (ec)
                    log(QStringLiteral("error: cannot restore %1 from %2: %3").arg(p.dest, p.backup, Reason(ec)));
                else
                    p.backedUp = false;
            } else if (!fs::remove(ToPath(p.dest), ec) || ec) {
                log(QStringLiteral("error: cannot remove the new file %1: %2").arg(p.dest, Reason(ec)));
            }
        }
        if (p.backedUp && !p.placed) {
            fs::remove(ToPath(p.backup), ec);
            if (ec)
                log(QStringLiteral("error: cannot remove %1: %2").arg(p.backup, Reason(ec)));
        }
        if (p.isStaged) {
            fs::remove(ToPath(p.staged), ec);
            if (ec)
                log(QStringLiteral("error: cannot remove %1: %2").arg(p.staged, Reason(ec)));
        }
    }
    for (auto it = createdFolders.crbegin(); it != createdFolders.crend(); ++it)
        QDir().rmdir(*it);
    log(QStringLiteral("nothing was changed in the program folder"));
}

} // namespace

bool ParseCopierArguments(const QStringList& args, CopierRequest* request, QString* error)
{
    *request = CopierRequest{};
    if (args.isEmpty()) {
        *error = QStringLiteral("no arguments");
        return false;
    }
    if (args.value(0) != QLatin1String("-id"))
        return Quoted(QStringLiteral("the first argument must be -id, not"), args.value(0), error);
    if (args.size() < 2) {
        *error = QStringLiteral("-id needs a process number");
        return false;
    }
    const QString pidText = args.at(1);
    bool ok = !pidText.isEmpty() &&
              std::all_of(pidText.cbegin(), pidText.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    const qint64 pid = ok ? pidText.toLongLong(&ok) : 0;
    if (!ok || pid <= 0 || pid > MaxPid)
        return Quoted(QStringLiteral("-id needs a positive process number, not"), pidText, error);
    if (args.value(2) != QLatin1String("-p"))
        return Quoted(QStringLiteral("the third argument must be -p, not"), args.value(2), error);
    if (args.size() < 4) {
        *error = QStringLiteral("-p needs the program path followed by \" -u\"");
        return false;
    }
    const QString suffix = QStringLiteral(" -u");
    QString program = args.at(3);
    if (!program.endsWith(suffix))
        return Quoted(QStringLiteral("-p needs the program path followed by \" -u\", not"), args.at(3), error);
    program.chop(suffix.size());
    if (program.isEmpty() || !QDir::isAbsolutePath(program) || program.endsWith(QLatin1Char('/')) ||
        program.endsWith(QLatin1Char('\\')))
        return Quoted(QStringLiteral("-p needs the absolute path of the program file, not"), program, error);
    QStringList targets;
    for (qsizetype i = 4; i < args.size(); i += 2) {
        if (args.at(i) != QLatin1String("-f"))
            return Quoted(QStringLiteral("expected -f, found"), args.at(i), error);
        if (i + 1 >= args.size() || args.at(i + 1).isEmpty()) {
            *error = QStringLiteral("-f needs a file path");
            return false;
        }
        targets << args.at(i + 1);
    }
    if (targets.isEmpty()) {
        *error = QStringLiteral("no file given (-f)");
        return false;
    }
    request->pid = pid;
    request->program = QDir::cleanPath(program);
    request->targets = targets;
    return true;
}

WaitResult WaitForProgramEnd(qint64 pid, const QString& program, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
#ifdef Q_OS_WIN
    Q_UNUSED(program);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED ? WaitResult::TimedOut : WaitResult::Ended;
    const DWORD r = WaitForSingleObject(process, static_cast<DWORD>(timeoutMs < 0 ? 0 : timeoutMs));
    CloseHandle(process);
    return r == WAIT_OBJECT_0 ? WaitResult::Ended : WaitResult::TimedOut;
#else
    const QString canonicalProgram = QFileInfo(program).canonicalFilePath();
    const auto p = static_cast<pid_t>(pid);
    for (;;) {
        if (Finished(p))
            return WaitResult::Ended;
        const QString running = ProcessProgram(p);
        if (!running.isEmpty() && running != program && running != canonicalProgram)
            return WaitResult::OtherProgram;
        if (timer.elapsed() >= timeoutMs)
            return WaitResult::TimedOut;
        QThread::msleep(PollMs);
    }
#endif
}

bool PlaceUpdate(const QStringList& targets, const QString& updateFolder, const QString& programFolder,
                 const QString& program, const LogLine& log)
{
    // Check everything before anything is written.
    std::vector<Placement> items;
    QSet<QString> destinations;
    bool ok = true;
    for (const QString& target : targets) {
        if (!TargetInsideFolder(target, updateFolder)) {
            log(QStringLiteral("error: refused %1: it does not lie inside the update folder %2")
                    .arg(target, updateFolder));
            ok = false;
            continue;
        }
        Placement p;
        p.target = target;
        const QString temp = target + QStringLiteral(".temp");
        const QFileInfo tempInfo(temp);
        p.fromTemp = tempInfo.exists() || tempInfo.isSymLink();
        p.data = p.fromTemp ? temp : target;
        if (p.fromTemp && !TargetInsideFolder(temp, updateFolder)) {
            log(QStringLiteral("error: refused %1: it does not lie inside the update folder %2")
                    .arg(temp, updateFolder));
            ok = false;
            continue;
        }
        const QFileInfo data(p.data);
        if (!data.exists()) {
            log(QStringLiteral("error: no data for %1: neither %2 nor %1 exists").arg(target, temp));
            ok = false;
            continue;
        }
        if (!data.isFile()) {
            log(QStringLiteral("error: %1 is not a plain file").arg(p.data));
            ok = false;
            continue;
        }
        if (data.size() == 0) {
            log(QStringLiteral("error: %1 is empty; it is taken as a download that did not arrive").arg(p.data));
            ok = false;
            continue;
        }
        p.dest = programFolder + target.mid(updateFolder.size());
        if (!TargetInsideFolder(p.dest, programFolder)) {
            log(QStringLiteral("error: refused %1: its destination %2 is a symbolic link or leads out of the "
                               "program folder %3")
                    .arg(target, p.dest, programFolder));
            ok = false;
            continue;
        }
        const QString key = QDir::cleanPath(p.dest);
        if (destinations.contains(key)) {
            log(QStringLiteral("%1 is named more than once; placed once").arg(target));
            continue;
        }
        destinations.insert(key);
        p.staged = p.dest + QLatin1String(StagedSuffix);
        p.backup = p.dest + QLatin1String(BackupSuffix);
        items.push_back(p);
    }
    if (!ok) {
        log(QStringLiteral("nothing was changed in the program folder"));
        return false;
    }

    // Missing subfolders of the program folder are created (and removed again on failure).
    QStringList createdFolders;
    for (Placement& p : items) {
        for (const QString& folder : MissingFolders(QFileInfo(p.dest).absolutePath())) {
            if (!QDir().mkdir(folder)) {
                log(QStringLiteral("error: cannot create the folder %1").arg(folder));
                RollBack(items, createdFolders, log);
                return false;
            }
            createdFolders << folder;
            log(QStringLiteral("created the folder %1").arg(folder));
        }
        // With its folders in place, the destination is checked once more against links.
        if (!TargetInsideFolder(p.dest, programFolder)) {
            log(QStringLiteral("error: refused %1: its destination leads out of the program folder %2")
                    .arg(p.dest, programFolder));
            RollBack(items, createdFolders, log);
            return false;
        }
        std::error_code ec;
        p.existed = fs::symlink_status(ToPath(p.dest), ec).type() != fs::file_type::not_found;
    }

    for (Placement& p : items) {
        std::error_code ec;
        const bool wasExecutable =
            p.existed && (fs::status(ToPath(p.dest), ec).permissions() &
                          (fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec)) != fs::perms::none;
        if (!Stage(p, wasExecutable || SameFile(p.dest, program), log)) {
            RollBack(items, createdFolders, log);
            return false;
        }
    }
    for (Placement& p : items) {
        if (!Place(p, log)) {
            RollBack(items, createdFolders, log);
            return false;
        }
    }

    // Placed: the kept copies and the consumed ".temp" files go.
    for (Placement& p : items) {
        std::error_code ec;
        log(QStringLiteral("placed %1 as %2").arg(p.data, p.dest));
        if (p.backedUp) {
            fs::remove(ToPath(p.backup), ec);
            if (ec)
                log(QStringLiteral("warning: cannot remove %1: %2").arg(p.backup, Reason(ec)));
        }
        if (p.fromTemp) {
            fs::remove(ToPath(p.data), ec);
            if (ec)
                log(QStringLiteral("warning: cannot remove %1: %2").arg(p.data, Reason(ec)));
        }
    }
    return true;
}
