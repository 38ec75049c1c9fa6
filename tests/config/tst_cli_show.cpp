#include "CliRunner.h"
#include "NativeFs.h"
#include "TestFolders.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

CliRun Cli(const QStringList& args)
{
    return RunPellaroCli(args, QProcessEnvironment::systemEnvironment(), 20000);
}

} // namespace

class TestCliShow : public QObject
{
    Q_OBJECT

private slots:
    void jsonOfFolder();
    void emptyFolderAndTable();
    void failures();
};

void TestCliShow::jsonOfFolder()
{
    TempWorkFolder wf;
    QVERIFY(WriteTestFile(wf.current() + "osreply.txt", "IXTA-8 ISE1\r\n"));
    QVERIFY(WriteTestFile(wf.current() + "USR.JOHN", "secret\r\n3\r\n"));
    int err = 0;
    bool opened = false;
    QVERIFY(NativeFs::Write(NativeFs::Join(wf.current(), "USR.caf\xe9"), "p\xe4\r\n5\r\n", err, opened));
    QVERIFY(WriteTestFile(wf.current() + "BLACK.TXT", "123\r\n\r\n  \r\n123\r\n"));
    QVERIFY(WriteTestFile(wf.current() + "CFG.USR", "a\rb\rc\r9\re\r1\r1\rh\r"));
    QVERIFY(WriteTestFile(wf.current() + "MESS340.WAV", "RIFF"));
    const CliRun r = Cli({"--workfolder", wf.path(), "show", "--json"});
    QCOMPARE(r.exitCode, 0);
    QJsonParseError pe;
    const QJsonObject o = QJsonDocument::fromJson(r.out, &pe).object();
    QCOMPARE(pe.error, QJsonParseError::NoError);
    QCOMPARE(o.keys(), (QStringList{"accounts", "deviceReport", "listMode", "messageFile", "messagePresent",
                                    "messageSeconds", "numbers", "recorderType"}));
    QCOMPARE(o["deviceReport"].toString(), QStringLiteral("IXTA-8 ISE1"));
    QCOMPARE(o["recorderType"].toInt(), 0);
    QCOMPARE(o["listMode"].toInt(), 2);
    QCOMPARE(o["messageFile"].toString(), QStringLiteral("MESS340.WAV"));
    QCOMPARE(o["messagePresent"].toBool(), true);
    QCOMPARE(o["messageSeconds"].toInt(), -1);
    const QJsonArray accounts = o["accounts"].toArray();
    QCOMPARE(accounts.size(), 2);
    QCOMPARE(accounts[0].toObject()["name"].toString(), QStringLiteral("JOHN"));
    QCOMPARE(accounts[0].toObject()["password"].toString(), QStringLiteral("secret"));
    QCOMPARE(accounts[0].toObject()["number"].toString(), QStringLiteral("3"));
    QCOMPARE(accounts[1].toObject()["name"].toString(), QString::fromLatin1("caf\xe9"));
    QCOMPARE(accounts[1].toObject()["password"].toString(), QString::fromLatin1("p\xe4"));
    QCOMPARE(o["numbers"].toArray(), (QJsonArray{"123", "  ", "123"}));
}

void TestCliShow::emptyFolderAndTable()
{
    TempWorkFolder wf;
    CliRun r = Cli({"--workfolder", wf.path(), "show", "--json"});
    QCOMPARE(r.exitCode, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    QCOMPARE(o["recorderType"].toInt(), 1);
    QCOMPARE(o["accounts"].toArray().size(), 0);

    QVERIFY(WriteTestFile(wf.current() + "USR.ANNA", "pw\r\n5551234\r\n"));
    r = Cli({"--workfolder", wf.path(), "show"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.contains("Telephone number"));
    QVERIFY(r.out.contains("ANNA"));
    QVERIFY(r.out.contains("5551234"));
    QVERIFY(!r.out.contains("pw")); // passwords stay out of the table
}

void TestCliShow::failures()
{
    TempWorkFolder wf;
    QVERIFY(QDir(wf.current()).mkdir("osreply.txt"));
    CliRun r = Cli({"--workfolder", wf.path(), "show", "--json"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.isEmpty());
    const QByteArray expected = "Cannot open file \"" + QFile::encodeName(wf.current()) + "osreply.txt\". Is a directory";
    QVERIFY2(r.err.contains(expected),
             r.err.constData());

    QCOMPARE(Cli({"--workfolder", wf.path(), "show", "--bogus"}).exitCode, 2);
    QCOMPARE(Cli({"nosuchcommand"}).exitCode, 2);
    QCOMPARE(Cli({"--workfolder"}).exitCode, 2);
    QCOMPARE(Cli({}).exitCode, 2);
    QCOMPARE(Cli({"--help"}).exitCode, 0);
    r = Cli({"--version"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.contains("1.0.0.0"));
}

QTEST_GUILESS_MAIN(TestCliShow)
#include "tst_cli_show.moc"
