// pellaro-cli load and save against the test recorder.
#include "CliRunner.h"
#include "RecorderSim.h"
#include "TestFolders.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

CliRun RunCli(const QStringList& args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PELLARO_PASSWORD"), QStringLiteral("pw"));
    return RunPellaroCli(args, env);
}

QStringList Target(const RecorderSim& sim)
{
    return {QStringLiteral("--host"), sim.Host(),
            QStringLiteral("--port"), QString::number(sim.Port()),
            QStringLiteral("--user"), QStringLiteral("ADMIN")};
}

} // namespace

class TestCliLoadSave : public QObject
{
    Q_OBJECT

private slots:
    void loadThenSave();
    void saveQuestionsFollowTheFlags();
    void failuresExitOne();
};

void TestCliLoadSave::loadThenSave()
{
    RecorderSim sim;
    sim.AddAccount("ADMIN", "pw", "1");
    sim.AddAccount("JOHN", "j", "5551234");
    sim.PutFile("BLACK.TXT", "111\r\n");
    QVERIFY2(sim.Start({"--report", "SV-300"}), qPrintable(sim.Error));
    TempWorkFolder work;
    QVERIFY(WriteTestFile(work.current() + "USR.LOCAL", "l\r\n1\r\n"));

    CliRun r = RunCli(QStringList{"--workfolder", work.path(), "load"} + Target(sim));
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QVERIFY(r.out.isEmpty()); // every message and the progress go to stderr
    QVERIFY(r.err.contains("Retrieving user FTP accounts details"));
    QVERIFY(r.err.contains("[ 95%]"));
    QCOMPARE(FilesIn(work.current()), (QStringList{"BLACK.TXT", "USR.ADMIN", "USR.JOHN", "osreply.txt"}));
    QCOMPARE(FilesIn(work.get()), QStringList{});

    // Change the local copy by hand, then send it.
    QVERIFY(QFile::remove(work.current() + "USR.JOHN"));
    QVERIFY(WriteTestFile(work.current() + "USR.NEW", "n\r\n5550000\r\n"));
    r = RunCli(QStringList{"--workfolder", work.path(), "save"} + Target(sim));
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QVERIFY(!sim.HasFile("USR.JOHN"));
    QCOMPARE(sim.FileData("USR.NEW"), QByteArray("n\r\n5550000\r\n"));
    QVERIFY(sim.Commands().contains("LIST [K]824344"));
}

void TestCliLoadSave::saveQuestionsFollowTheFlags()
{
    // The recorder's list mode differs from the local one: the reload question comes.
    for (const char* flag : {"--yes", "--no"}) {
        RecorderSim sim;
        sim.AddAccount("ADMIN", "pw", "1");
        sim.PutFile("CFG.USR", "a\rb\rc\r0\re\r0\r0\rh\r");
        QVERIFY2(sim.Start({"--report", "SV-300"}), qPrintable(sim.Error));
        TempWorkFolder work;
        QVERIFY(WriteTestFile(work.current() + "USR.ADMIN", "pw\r\n1\r\n"));
        QVERIFY(WriteTestFile(work.current() + "CFG.USR", "a\rb\rc\r2\re\r0\r0\rh\r"));
        const CliRun r = RunCli(QStringList{"--workfolder", work.path(), flag, "save"} + Target(sim));
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY(r.err.contains("To load the new black/white list setting the active recordings must be stopped."));
        QCOMPARE(sim.FileData("CFG.USR"), QByteArray("a\rb\rc\r2\re\r0\r0\rh\r"));
        const bool reloaded = sim.Commands().contains("LIST [K]42");
        QCOMPARE(reloaded, QByteArray(flag) == "--yes");
    }
}

void TestCliLoadSave::failuresExitOne()
{
    RecorderSim sim;
    sim.AddAccount("ADMIN", "other", "1");
    QVERIFY2(sim.Start(), qPrintable(sim.Error));
    TempWorkFolder work;
    CliRun r = RunCli(QStringList{"--workfolder", work.path(), "load"} + Target(sim));
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains("Username and/or password wrong"));

    // A load whose copy into the local copy fails is not a success, though nothing is lost.
    RecorderSim full;
    full.AddAccount("ADMIN", "pw", "1");
    full.PutFile("MESS340.6", QByteArray(4096, 'x'));
    QVERIFY2(full.Start({"--report", "SV-300"}), qPrintable(full.Error));
    TempWorkFolder blocked;
    QVERIFY(QDir(blocked.current()).mkdir("MESS340.6"));
    r = RunCli(QStringList{"--workfolder", blocked.path(), "load"} + Target(full));
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("These files could not be copied into the local copy: MESS340.6."), r.err.constData());
    QCOMPARE(FilesIn(blocked.get()), (QStringList{"MESS340.6", "USR.ADMIN", "osreply.txt"}));

    r = RunCli({"--workfolder", work.path(), "save", "--host", "127.0.0.1"});
    QCOMPARE(r.exitCode, 2);
    r = RunCli({"--workfolder", work.path(), "load", "--password", "x"});
    QCOMPARE(r.exitCode, 2);
}

QTEST_GUILESS_MAIN(TestCliLoadSave)
#include "tst_cliloadsave.moc"
