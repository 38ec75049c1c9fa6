#pragma once

#include "MessageService.h"

#include <QString>
#include <QStringList>

#include <cstdio>

// Exit codes of pellaro-cli.
namespace CliExit {
inline constexpr int Ok = 0;
inline constexpr int Failed = 1;
inline constexpr int Usage = 2;
} // namespace CliExit

// What a command receives: the work folder and the arguments after the command name.
struct CliContext
{
    QString workFolder;          // ends with '/'; holds current/, get/, pellaro.ini
    QStringList args;            // the command's own arguments
    int answer = 0;              // +1 --yes, -1 --no, 0 neither (questions then take their default)
    IMessageService* messages = nullptr; // prints to stderr, answers from --yes/--no
};

using CliCommandFn = int (*)(CliContext&);

// Commands register themselves from their own source file:
//   static const CliRegistration reg("show", "show [--json]", "print the local configuration", &RunShow);
// A two-word name ("message import") is matched before the one-word command of its first word.
struct CliRegistration
{
    CliRegistration(const char* name, const char* usage, const char* summary, CliCommandFn fn);
};

// Writes text to stderr / stdout as local 8-bit text plus a line end.
void CliErr(const QString& text);
void CliOut(const QString& text);
void CliOutBytes(const QByteArray& bytes);
