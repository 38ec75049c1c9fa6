#include "CliRunner.h"

#include "TestFolders.h"

#include <QProcess>

CliRun RunPellaroCli(const QStringList& args, const QProcessEnvironment& env, int timeoutMs)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(BinDir() + QStringLiteral("/pellaro-cli"), args);
    CliRun r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}
