#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// What the update checker hands the copier on its command line.
struct CopierRequest
{
    qint64 pid = 0;      // the program's process, which must end first
    QString program;     // absolute path of the program file, restarted at the end
    QStringList targets; // files in the UpdateFolder; the data lies in target + ".temp" or in target
};

// Parses exactly what TUpdater passes:
//   -id <pid> -p "<program path> -u" -f <target> [-f <target> ...]
// (the -p value is one argument: the path, a blank and -u). False with *error set otherwise.
bool ParseCopierArguments(const QStringList& args, CopierRequest* request, QString* error);

// One line of the copier's log.
using LogLine = std::function<void(const QString&)>;

enum class WaitResult {
    Ended,        // no such process any more (or only its zombie)
    OtherProgram, // the number now belongs to another program: the one we waited for has ended
    TimedOut,
};

// Polls until process pid has ended, at most timeoutMs. Where the process's program file
// can be read (/proc/<pid>/exe), a process running something other than program counts as
// ended: its number was reused.
WaitResult WaitForProgramEnd(qint64 pid, const QString& program, int timeoutMs);

// Places every target's data into programFolder (+ the target's path relative to
// updateFolder), all or nothing: each file is first staged beside its destination, then all
// are renamed into place; on any failure the installed files are restored and the staged ones
// removed. After success the consumed ".temp" files are removed. Every step and every error
// goes to log. Both folders end with '/'.
bool PlaceUpdate(const QStringList& targets, const QString& updateFolder, const QString& programFolder,
                 const QString& program, const LogLine& log);

// Suffixes of the files the copier keeps beside a destination while placing it.
inline constexpr const char* StagedSuffix = ".filecopy-new";
inline constexpr const char* BackupSuffix = ".filecopy-old";
