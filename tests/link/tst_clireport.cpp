// pellaro-cli report against the test recorder.
#include "CliRunner.h"
#include "RecorderSim.h"
#include "TestFolders.h"

#include <QProcess>
#include <QtTest>

namespace {

CliRun RunCli(const TempWorkFolder& work, const QStringList& args, const QByteArray& envPassword = {},
              bool setPassword = false)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("PELLARO_PASSWORD"));
    if (setPassword)
        env.insert(QStringLiteral("PELLARO_PASSWORD"), QString::fromLatin1(envPassword));
    env.insert(QStringLiteral("XDG_DATA_HOME"), work.path() + QStringLiteral("xdg"));
    return RunPellaroCli(QStringList{QStringLiteral("--workfolder"), work.path()} + args, env);
}

QStringList Target(const RecorderSim& sim, const QString& user = QStringLiteral("ALICE"))
{
    return {QStringLiteral("report"),    QStringLiteral("--host"), sim.Host(), QStringLiteral("--port"),
            QString::number(sim.Port()), QStringLiteral("--user"), user};
}

} // namespace

#define START(sim, ...) QVERIFY2((sim).Start(__VA_ARGS__), qPrintable((sim).Error))

class TestCliReport : public QObject
{
    Q_OBJECT

private slots:
    void reportFromEnvironment();
    void reportFromPasswordFile();
    void failedLoginGivesUp();
    void unreachable();
    void standardServer();
    void passwordNeverOnCommandLine_data();
    void passwordNeverOnCommandLine();
};

void TestCliReport::reportFromEnvironment()
{
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "s3cret pw");
    START(sim);
    const CliRun r = RunCli(work, Target(sim), "s3cret pw", true);
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QCOMPARE(r.out, QByteArray("200 Sonvault IXTA 8 lines V3.1 ISE1\nRecorder type: 0 (Ixta)\nFax server: no\n"));
    QVERIFY(r.err.contains("Connecting to 127.0.0.1 ..."));
    QCOMPARE(sim.Commands(), (QList<QByteArray>{"USER ALICE", "PASS s3cret pw", "test report2", "QUIT"}));
    QVERIFY(FilesIn(work.get()).isEmpty()); // the report command writes no download
}

void TestCliReport::reportFromPasswordFile()
{
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("FAX", "pw");
    START(sim, {"--report", "Sonvault DUNSEL fax server"});
    QVERIFY(WriteTestFile(work.path() + "pw.txt", "pw\r\nignored second line\r\n"));
    const CliRun r = RunCli(work,
                            Target(sim, QStringLiteral("FAX")) +
                                QStringList{QStringLiteral("--password-file"), work.path() + "pw.txt"},
                            "not this one", true);
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QCOMPARE(r.out, QByteArray("200 Sonvault DUNSEL fax server\nRecorder type: 1 (Other devices)\nFax server: yes\n"));
}

void TestCliReport::failedLoginGivesUp()
{
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    START(sim);
    const CliRun r = RunCli(work, Target(sim), "wrong", true);
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.contains("Username and/or password wrong"), r.err.constData());
    QCOMPARE(sim.Commands(), (QList<QByteArray>{"USER ALICE", "PASS wrong"}));

    RecorderSim busy;
    busy.AddAccount("ALICE", "secret");
    START(busy, {"--busy"});
    const CliRun b = RunCli(work, Target(busy), "secret", true);
    QCOMPARE(b.exitCode, 1);
    QVERIFY2(b.err.contains("Sonvault busy"), b.err.constData());
}

void TestCliReport::unreachable()
{
    TempWorkFolder work;
    RecorderSim sim;
    START(sim);
    const quint16 port = sim.Port();
    sim.Stop();
    const CliRun r =
        RunCli(work,
               {QStringLiteral("report"), QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                QStringLiteral("--port"), QString::number(port), QStringLiteral("--user"), QStringLiteral("ALICE")},
               "x", true);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("FTP Error, Status: 500"), r.err.constData());
}

// A plain FTP server (stock pyftpdlib, no recorder extras): the login works and its answer
// to the unknown report command is printed as the report.
void TestCliReport::standardServer()
{
    TempWorkFolder work;
    QTemporaryDir root;
    QProcess server;
    server.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-m"), QStringLiteral("pyftpdlib"), QStringLiteral("-i"), QStringLiteral("127.0.0.1"),
                  QStringLiteral("-p"), QStringLiteral("0"), QStringLiteral("-u"), QStringLiteral("bob"),
                  QStringLiteral("-P"), QStringLiteral("pw"), QStringLiteral("-d"), root.path()});
    QVERIFY(server.waitForStarted(5000));
    QByteArray log;
    QString port;
    const QByteArray marker("starting FTP server on 127.0.0.1:");
    for (int i = 0; i < 100 && port.isEmpty(); ++i) {
        server.waitForReadyRead(100);
        log += server.readAllStandardError() + server.readAllStandardOutput();
        const qsizetype at = log.indexOf(marker);
        if (at >= 0) {
            const QByteArray rest = log.mid(at + marker.size());
            const qsizetype end = rest.indexOf(',');
            if (end > 0)
                port = QString::fromLatin1(rest.left(end));
        }
    }
    if (port.isEmpty()) {
        server.kill();
        server.waitForFinished();
        QFAIL(log.constData());
    }
    const CliRun r = RunCli(work,
                            {QStringLiteral("report"), QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                             QStringLiteral("--port"), port, QStringLiteral("--user"), QStringLiteral("bob")},
                            "pw", true);
    server.terminate();
    if (!server.waitForFinished(3000)) {
        server.kill();
        server.waitForFinished();
    }
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QVERIFY2(r.out.startsWith("500 "), r.out.constData());
    QVERIFY(r.out.endsWith("\nRecorder type: 1 (Other devices)\nFax server: no\n"));
}

void TestCliReport::passwordNeverOnCommandLine_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<bool>("envPassword");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("--password") << QStringList{"--password", "secret"} << true
                                << QByteArray("never taken from the command line");
    QTest::newRow("--password=") << QStringList{"--password=secret"} << true
                                 << QByteArray("never taken from the command line");
    QTest::newRow("no password at all") << QStringList() << false << QByteArray("no password");
    QTest::newRow("missing password file") << QStringList{"--password-file", "/nonexistent/pw"} << true
                                           << QByteArray("Cannot open file \"/nonexistent/pw\"");
}

void TestCliReport::passwordNeverOnCommandLine()
{
    QFETCH(QStringList, extra);
    QFETCH(bool, envPassword);
    QFETCH(QByteArray, message);
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    START(sim);
    const CliRun r = RunCli(work, Target(sim) + extra, "secret", envPassword);
    QVERIFY(r.exitCode == 1 || r.exitCode == 2);
    QVERIFY2(r.err.contains(message), r.err.constData());
    QVERIFY(sim.CommandLog().isEmpty()); // nothing was sent
}

QTEST_GUILESS_MAIN(TestCliReport)
#include "tst_clireport.moc"
