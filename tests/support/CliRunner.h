#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>

// One run of the built pellaro-cli.
struct CliRun
{
    int exitCode = -1; // -1: it crashed or did not end within the time
    QByteArray out;
    QByteArray err;
};

// Runs pellaro-cli with args in env; kills it after timeoutMs.
CliRun RunPellaroCli(const QStringList& args,
                     const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                     int timeoutMs = 60000);
