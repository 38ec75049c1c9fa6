#include "ConfigSnapshot.h"
#include "ConnectLogin.h"
#include "FtpClient.h"
#include "LoadSave.h"
#include "NativeFs.h"
#include "RecorderSim.h"
#include "ReplyCapture.h"
#include "ScriptedMessageService.h"
#include "TestFolders.h"

#include <QtTest>

#include <memory>

namespace {

class RecordingProgress final : public IProgressSink
{
public:
    void ShowProgress() override { shown = true; ++shows; }
    void SetPosition(int p) override { positions << p; }
    void SetText(const QString& t) override { texts << t; }
    void HideProgress() override { shown = false; }
    bool shown = false;
    int shows = 0;
    QList<int> positions;
    QStringList texts;
};

const QByteArray Cfg8 = "a\rb\rc\r0\re\r0\r0\rh\r"; // list mode 0 for both recorder types

// One recorder, one work folder and everything a procedure needs.
struct Rig
{
    TempWorkFolder wf;
    RecorderSim sim;
    TFtpClient ftp;
    std::unique_ptr<ReplyCapture> capture;
    std::unique_ptr<FixedConnectPrompt> prompt;
    ScriptedMessageService msg;
    RecordingProgress progress;
    RecorderAddress address;
    ConfigSnapshot snap;
    int shows = 0;
    QList<int> pauses;
    std::unique_ptr<TransferParts> parts;

    bool Start(const QStringList& simArgs = {}, const QByteArray& password = "pw", int confirmations = 1)
    {
        sim.AddAccount("ADMIN", "pw", "1");
        if (!sim.Start(simArgs))
            return false;
        ftp.Timeout = 5;
        capture = std::make_unique<ReplyCapture>(wf.path());
        BindFtpClientEvents(ftp, *capture, msg);
        prompt = std::make_unique<FixedConnectPrompt>(sim.Host(), sim.Port(), "ADMIN", password, confirmations);
        parts.reset(new TransferParts{snap, wf.path(), ftp, *capture, *prompt, msg, progress, address,
                                      [this] { ++shows; }, [this](int ms) { pauses << ms; }});
        return true;
    }
    QList<QByteArray> Sent(const QByteArray& verb) const
    {
        QList<QByteArray> out;
        for (const QByteArray& c : sim.Commands()) {
            if (c.startsWith(QByteArray(verb + ' ')) || c == verb)
                out << c;
        }
        return out;
    }
};

} // namespace

class TestLoadSave : public QObject
{
    Q_OBJECT

private slots:
    void loadReplacesLocalCopy();
    void loadBarsWithThreeAccounts();
    void loadOnlyLongMessage();
    void loadSkipsUnsafeListedNames();
    void loadDroppedConnectionKeepsLocalCopy();
    void loadLoginFailures_data();
    void loadLoginFailures();
    void loadCancelledAtFirstPrompt();
    void loadKeepsDownloadWhenCopyFails();
    void saveSendsEverything();
    void saveReloadAnsweredNo();
    void saveFaxServer();
    void saveTypeMismatch();
    void saveListModeUnchanged_data();
    void saveListModeUnchanged();
    void saveMessageFiles_data();
    void saveMessageFiles();
    void saveRefusedDeleteKeepsModified();
    void saveFailedAccountUploadKeepsModified();
    void saveBadLineNumbers();
    void eightBitNamesTravelByteForByte();
};

void TestLoadSave::loadReplacesLocalCopy()
{
    Rig rig;
    for (const char* n : {"JOHN", "anna", "a.b"})
        rig.sim.AddAccount(n, QByteArray("p") + n, "5");
    rig.sim.PutFile("MESS340.6", QByteArray(4096, '\x55'));
    rig.sim.PutFile("BLACK.TXT", "111\r\n222\r\n");
    rig.sim.PutFile("CFG.USR", "a\rb\rc\r2\re\r0\r0\rh\r");
    QVERIFY2(rig.Start({"--report", "SV-300 ISE1"}), qPrintable(rig.sim.Error));
    // Stale local state that the load must replace entirely.
    QVERIFY(WriteTestFile(rig.wf.current() + "USR.LOCALONLY", "x\r\n1\r\n"));
    QVERIFY(WriteTestFile(rig.wf.current() + "MESS340.WAV", "old"));
    QVERIFY(WriteTestFile(rig.wf.get() + "leftover", "x"));
    rig.snap.Modified = true;
    rig.snap.Accounts = {{"LOCALONLY", "x", "1"}};

    QVERIFY(TLoadProcedure(*rig.parts).ButtonUpdateLocalClick());
    QCOMPARE(rig.msg.Texts(), QStringList{});
    QCOMPARE(FilesIn(rig.wf.current()), (QStringList{"BLACK.TXT", "CFG.USR", "MESS340.6", "USR.ADMIN", "USR.JOHN",
                                                     "USR.a.b", "USR.anna", "osreply.txt"}));
    QCOMPARE(FilesIn(rig.wf.get()), QStringList{});
    QVERIFY(!QFile::exists(rig.wf.path() + "FTPAccount.lst"));
    QCOMPARE(ReadTestFile(rig.wf.current() + "osreply.txt"), QByteArray("200 SV-300 ISE1\r\n"));
    QCOMPARE(ReadTestFile(rig.wf.current() + "MESS340.6"), QByteArray(4096, '\x55'));
    QCOMPARE(rig.snap.Accounts.size(), 4);
    QCOMPARE(rig.snap.DeviceReport, QByteArray("200 SV-300 ISE1")); // the whole first reply line
    QCOMPARE(rig.snap.Numbers, (QList<QByteArray>{"111", "222"}));
    QCOMPARE(rig.snap.ListMode, 2);
    QCOMPARE(rig.snap.MessageFile, QStringLiteral("MESS340.6"));
    QVERIFY(!rig.snap.Modified);
    QCOMPARE(rig.shows, 1);
    QVERIFY(!rig.progress.shown);
    QCOMPARE(rig.progress.positions, (QList<int>{10, 20, 30, 40, 50, 60, 70, 70, 80, 90, 95}));
    QVERIFY(rig.progress.texts.contains(QStringLiteral("Retrieving user FTP accounts details")));
    QVERIFY(rig.progress.texts.contains(QStringLiteral("Downloading USR.JOHN")));
    QCOMPARE(rig.prompt->Titles, QStringList{"Load from Sonvault: Login"});

    // The dialogue: no TYPE, no passive mode, every data command after its own PORT.
    const QList<QByteArray> log = rig.sim.CommandLog();
    QVERIFY(!log.isEmpty());
    QCOMPARE(log.first(), QByteArray("USER ADMIN"));
    QCOMPARE(log.last(), QByteArray("QUIT"));
    for (int i = 0; i < log.size(); ++i) {
        QVERIFY2(!log[i].startsWith("TYPE") && !log[i].startsWith("PASV") && !log[i].startsWith("EPSV"),
                 log[i].constData());
        if (log[i].startsWith("RETR") || log[i].startsWith("LIST"))
            QVERIFY2(i > 0 && log[i - 1].startsWith("PORT "), log[i].constData());
    }
    QCOMPARE(rig.Sent("LIST"), QList<QByteArray>{"LIST USR.*"});
    QCOMPARE(rig.Sent("RETR"), (QList<QByteArray>{"RETR USR.ADMIN", "RETR USR.JOHN", "RETR USR.a.b", "RETR USR.anna",
                                                  "RETR MESS340.6", "RETR MESS340.WAV", "RETR BLACK.TXT",
                                                  "RETR CFG.USR"}));
}

void TestLoadSave::loadBarsWithThreeAccounts()
{
    Rig rig;
    rig.sim.AddAccount("B", "p", "2");
    rig.sim.AddAccount("C", "p", "3");
    QVERIFY2(rig.Start({"--report", "SV-300"}), qPrintable(rig.sim.Error));
    QVERIFY(TLoadProcedure(*rig.parts).ButtonUpdateLocalClick());
    QCOMPARE(rig.progress.positions, (QList<int>{10, 20, 30, 43, 56, 70, 70, 80, 90, 95}));
    QCOMPARE(rig.snap.RecorderType, 1);
}

void TestLoadSave::loadOnlyLongMessage()
{
    Rig rig;
    rig.sim.PutFile("MESS340.WAV", QByteArray(10000, 'w'));
    QVERIFY2(rig.Start({"--report", "IXTA-8"}), qPrintable(rig.sim.Error));
    QVERIFY(TLoadProcedure(*rig.parts).ButtonUpdateLocalClick());
    QCOMPARE(rig.msg.Texts(), QStringList{});
    QCOMPARE(rig.snap.MessageFile, QStringLiteral("MESS340.WAV"));
    QVERIFY(rig.snap.MessagePresent);
    QCOMPARE(rig.snap.RecorderType, 0);
    QVERIFY(rig.snap.Numbers.isEmpty());
    QCOMPARE(FilesIn(rig.wf.current()), (QStringList{"MESS340.WAV", "USR.ADMIN", "osreply.txt"}));
}

void TestLoadSave::loadSkipsUnsafeListedNames()
{
    // Listing lines whose last word is not a plain file name never become local files.
    Rig rig;
    rig.sim.PutFile("USR. ..", "p\r\n1\r\n");
    rig.sim.PutFile("USR. a\\b", "p\r\n1\r\n");
    rig.sim.PutFile("USR.JOHN SMITH", "p\r\n1\r\n");
    QVERIFY2(rig.Start(), qPrintable(rig.sim.Error));
    QVERIFY(TLoadProcedure(*rig.parts).ButtonUpdateLocalClick());
    const QList<QByteArray> retr = rig.Sent("RETR");
    QVERIFY(!retr.contains("RETR .."));
    QVERIFY(!retr.contains("RETR a\\b"));
    QVERIFY(retr.contains("RETR SMITH")); // cut at the last space: missing on the recorder, skipped quietly
    QCOMPARE(rig.msg.Texts(), QStringList{});
    QCOMPARE(FilesIn(rig.wf.current()), (QStringList{"USR.ADMIN", "osreply.txt"}));
    QCOMPARE(FilesIn(rig.wf.path()), QStringList{"FTPAccount.lst"}.mid(1)); // nothing beside the folders
}

void TestLoadSave::loadDroppedConnectionKeepsLocalCopy()
{
    Rig rig;
    rig.sim.AddAccount("JOHN", "p", "2");
    rig.sim.PutFile("BLACK.TXT", QByteArray(5000, '1'));
    QVERIFY2(rig.Start({"--drop-after", "3"}), qPrintable(rig.sim.Error));
    QVERIFY(WriteTestFile(rig.wf.current() + "USR.KEEP", "k\r\n1\r\n"));
    rig.snap.Accounts = {{"KEEP", "k", "1"}};
    rig.snap.Modified = true;
    QVERIFY(!TLoadProcedure(*rig.parts).ButtonUpdateLocalClick());
    const QStringList texts = rig.msg.Texts();
    QVERIFY2(texts.contains(QStringLiteral("Connection closed suddenly")), qPrintable(texts.join('|')));
    QCOMPARE(texts.last(), QStringLiteral("The configuration could not be loaded completely from the Sonvault.\n"
                                          "The local copy was kept unchanged."));
    QCOMPARE(FilesIn(rig.wf.current()), QStringList{"USR.KEEP"});
    QCOMPARE(rig.snap.Accounts, (QList<tFTPInfo>{{"KEEP", "k", "1"}}));
    QVERIFY(rig.snap.Modified);
    QCOMPARE(rig.shows, 0);
}

void TestLoadSave::loadLoginFailures_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QString>("message");
    QTest::newRow("busy") << QStringList{"--busy"} << QByteArray("pw") << QStringLiteral("Sonvault busy");
    QTest::newRow("wrong password") << QStringList{} << QByteArray("bad")
                                    << QStringLiteral("Username and/or password wrong");
    QTest::newRow("greeting not 220") << QStringList{"--greeting", "421 Too many users"} << QByteArray("pw")
                                      << QStringLiteral("FTP Error, Status: 421");
}

void TestLoadSave::loadLoginFailures()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QByteArray, password);
    QFETCH(QString, message);
    Rig rig;
    QVERIFY2(rig.Start(simArgs, password), qPrintable(rig.sim.Error));
    QVERIFY(WriteTestFile(rig.wf.current() + "USR.KEEP", "k\r\n1\r\n"));
    QVERIFY(WriteTestFile(rig.wf.get() + "old", "x"));
    QVERIFY(!TLoadProcedure(*rig.parts).ButtonUpdateLocalClick());
    QCOMPARE(rig.msg.Texts(), QStringList{message});
    // The re-prompt came with the operation's title and was cancelled.
    QCOMPARE(rig.prompt->Titles, (QStringList{"Load from Sonvault: Login", "Load from Sonvault: Login"}));
    QCOMPARE(FilesIn(rig.wf.current()), QStringList{"USR.KEEP"});
    QCOMPARE(FilesIn(rig.wf.get()), QStringList{}); // emptied before the login
    QVERIFY(!rig.progress.shown);
}

void TestLoadSave::loadCancelledAtFirstPrompt()
{
    Rig rig;
    QVERIFY2(rig.Start({}, "pw", 0), qPrintable(rig.sim.Error));
    QVERIFY(WriteTestFile(rig.wf.get() + "old", "x"));
    QVERIFY(!TLoadProcedure(*rig.parts).ButtonUpdateLocalClick());
    QCOMPARE(rig.progress.shows, 0);
    QCOMPARE(FilesIn(rig.wf.get()), QStringList{"old"});
    QCOMPARE(rig.sim.CommandLog(), QList<QByteArray>{});
}

void TestLoadSave::loadKeepsDownloadWhenCopyFails()
{
    // A folder in the local copy where a downloaded file must go: that file cannot be copied,
    // so the download stays in the get folder and the user is told where it is.
    Rig rig;
    rig.sim.PutFile("BLACK.TXT", "111\r\n");
    QVERIFY2(rig.Start({"--report", "SV-300"}), qPrintable(rig.sim.Error));
    QVERIFY(QDir(rig.wf.current()).mkdir("BLACK.TXT"));
    QVERIFY(!TLoadProcedure(*rig.parts).ButtonUpdateLocalClick()); // reported as a failure
    QCOMPARE(rig.msg.Texts(), QStringList{QStringLiteral("These files could not be copied into the local copy: "
                                                         "BLACK.TXT.\nThe downloaded files are kept in %1")
                                              .arg(rig.wf.get())});
    QCOMPARE(FilesIn(rig.wf.get()), (QStringList{"BLACK.TXT", "USR.ADMIN", "osreply.txt"}));
    QCOMPARE(FilesIn(rig.wf.current()), (QStringList{"USR.ADMIN", "osreply.txt"}));
    QCOMPARE(rig.snap.Numbers, QList<QByteArray>{"111"}); // the snapshot is the recorder's
}

namespace {

void FillForSave(Rig& rig)
{
    rig.snap.RecorderType = 1;
    rig.snap.DeviceReport = "SV-300";
    rig.snap.Accounts = {{"ADMIN", "pw", "1"}, {"B", "pb", "555"}};
    rig.snap.Numbers = {"123", "456"};
    rig.snap.ListMode = 2;
    rig.snap.Modified = true;
}

} // namespace

void TestLoadSave::saveSendsEverything()
{
    Rig rig;
    rig.sim.AddAccount("b", "old", "1");   // differs from B only in case: stale
    rig.sim.AddAccount("OLD", "old", "1"); // stale
    rig.sim.PutFile("MESS340.WAV", "long");
    rig.sim.PutFile("CFG.USR", Cfg8);
    QVERIFY2(rig.Start({"--report", "SV-300 IST1"}), qPrintable(rig.sim.Error));
    FillForSave(rig);
    QVERIFY(WriteTestFile(rig.wf.current() + "MESS340.6", "short message"));

    QVERIFY(TSaveProcedure(*rig.parts).ButtonUpdateFaxServerClick());
    QVERIFY(!rig.snap.Modified);
    QCOMPARE(rig.snap.DeviceReport, QByteArray("200 SV-300 IST1")); // the report of the recorder saved to
    QStringList expected{"To load the new black/white list setting the active recordings must be stopped.\nContinue?"};
    QCOMPARE(rig.msg.Texts(), expected);
    QCOMPARE(rig.msg.entries[0].icon, MsgIcon::Information);
    QCOMPARE(rig.msg.entries[0].buttons, MsgButtons::YesNo);

    QVERIFY(rig.sim.HasFile("USR.B"));
    QCOMPARE(rig.sim.FileData("USR.B"), QByteArray("pb\r\n555\r\n"));
    QVERIFY(!rig.sim.HasFile("USR.b"));
    QVERIFY(!rig.sim.HasFile("USR.OLD"));
    QVERIFY(rig.sim.HasFile("MESS340.6"));
    QVERIFY(!rig.sim.HasFile("MESS340.WAV"));
    QCOMPARE(rig.sim.FileData("BLACK.TXT"), QByteArray("123\r\n456\r\n"));
    QCOMPARE(rig.sim.FileData("CFG.USR"), QByteArray("a\rb\rc\r2\re\r0\r0\rh\r"));
    QCOMPARE(ReadTestFile(rig.wf.current() + "CFG.USR"), QByteArray("a\rb\rc\r2\re\r0\r0\rh\r"));
    QCOMPARE(rig.Sent("LIST"), (QList<QByteArray>{"LIST USR.*", "LIST [K]824344", "LIST [K]8741410D4344", "LIST [K]42"}));
    QCOMPARE(rig.pauses, QList<int>{2000});
    QCOMPARE(rig.progress.positions, (QList<int>{10, 20, 30, 45, 60, 60, 70, 90, 90, 100}));
    QCOMPARE(rig.prompt->Titles, QStringList{"Save to Sonvault: Login"});
    QCOMPARE(rig.sim.CommandLog().last(), QByteArray("QUIT"));
    for (const QByteArray& c : rig.sim.CommandLog())
        QVERIFY2(!c.startsWith("TYPE") && !c.startsWith("PASV"), c.constData());
}

void TestLoadSave::saveReloadAnsweredNo()
{
    Rig rig;
    rig.sim.PutFile("CFG.USR", Cfg8);
    QVERIFY2(rig.Start({"--report", "SV-300"}), qPrintable(rig.sim.Error));
    FillForSave(rig);
    rig.msg.Answer(MsgResult::No);
    QVERIFY(TSaveProcedure(*rig.parts).ButtonUpdateFaxServerClick());
    QVERIFY(!rig.snap.Modified);
    QCOMPARE(rig.Sent("LIST"), (QList<QByteArray>{"LIST USR.*", "LIST [K]824344"}));
    QVERIFY(rig.pauses.isEmpty());
}

void TestLoadSave::saveFaxServer()
{
    Rig rig;
    rig.sim.AddAccount("STALE", "p", "1");
    rig.sim.PutFile("CFG.USR", Cfg8);
    QVERIFY2(rig.Start({"--report", "KORAL fax 2"}), qPrintable(rig.sim.Error));
    FillForSave(rig);
    rig.snap.DeviceReport = "KORAL fax 2";
    QVERIFY(TSaveProcedure(*rig.parts).ButtonUpdateFaxServerClick());
    QCOMPARE(rig.msg.entries.size(), 1);
    QCOMPARE(rig.msg.entries[0].text, QStringLiteral("You are uploading to a Fax Server.\n"
                                                     "Only the notification message, and the black/white file will "
                                                     "be uploaded\nUse Drumlin for configuring users."));
    QCOMPARE(rig.msg.entries[0].buttons, MsgButtons::OkCancel);
    QCOMPARE(rig.Sent("STOR"), QList<QByteArray>{"STOR BLACK.TXT"});
    QCOMPARE(rig.Sent("DELE"), QList<QByteArray>{});
    QCOMPARE(rig.Sent("RETR"), QList<QByteArray>{});
    QCOMPARE(rig.Sent("LIST"), QList<QByteArray>{"LIST [K]804144"});
    QVERIFY(rig.sim.HasFile("USR.STALE"));
    QVERIFY(!rig.snap.Modified);

    // Cancel at the fax question: nothing is sent.
    Rig again;
    QVERIFY2(again.Start({"--report", "PIRRA"}), qPrintable(again.sim.Error));
    FillForSave(again);
    again.msg.Answer(MsgResult::Cancel);
    QVERIFY(!TSaveProcedure(*again.parts).ButtonUpdateFaxServerClick());
    QCOMPARE(again.Sent("STOR"), QList<QByteArray>{});
    QVERIFY(again.snap.Modified);
}

void TestLoadSave::saveTypeMismatch()
{
    // A fax server saved to as an Ixta fails the type check before the fax question.
    Rig rig;
    QVERIFY2(rig.Start({"--report", "TAVRO-1"}), qPrintable(rig.sim.Error));
    FillForSave(rig);
    rig.snap.RecorderType = 0;
    rig.snap.Accounts = {{"ADMIN", "pw", "1"}};
    QVERIFY(!TSaveProcedure(*rig.parts).ButtonUpdateFaxServerClick());
    QCOMPARE(rig.msg.entries.size(), 1);
    QCOMPARE(rig.msg.entries[0].caption, QStringLiteral("Pellaro: Upload failed"));
    QCOMPARE(rig.msg.entries[0].text, QStringLiteral("The Recorder type to which you upload does not\n"
                                                     "match to the specified Recorder type."));
    QCOMPARE(rig.msg.entries[0].icon, MsgIcon::Error);
    QCOMPARE(rig.Sent("STOR"), QList<QByteArray>{});
    QVERIFY(rig.snap.Modified);
    QCOMPARE(rig.sim.CommandLog().last(), QByteArray("QUIT"));
}

void TestLoadSave::saveListModeUnchanged_data()
{
    QTest::addColumn<QByteArray>("cfg");
    QTest::newRow("already the chosen mode") << QByteArray("a\rb\rc\r2\re\r0\r0\rh\r");
    QTest::newRow("undeterminable") << QByteArray("a\rb\rc\rX\re\r0\r0\rh\r");
    QTest::newRow("too short") << QByteArray("a\rb\rc\r0\r");
}

void TestLoadSave::saveListModeUnchanged()
{
    QFETCH(QByteArray, cfg);
    Rig rig;
    rig.sim.PutFile("CFG.USR", cfg);
    QVERIFY2(rig.Start({"--report", "SV-300"}), qPrintable(rig.sim.Error));
    FillForSave(rig);
    QVERIFY(TSaveProcedure(*rig.parts).ButtonUpdateFaxServerClick());
    QCOMPARE(rig.msg.Texts(), QStringList{});
    QVERIFY(!rig.Sent("STOR").contains("STOR CFG.USR"));
    QCOMPARE(rig.sim.FileData("CFG.USR"), cfg);
    QCOMPARE(ReadTestFile(rig.wf.current() + "CFG.USR"), cfg); // the recorder's copy is the local one now
}

void TestLoadSave::saveMessageFiles_data()
{
    QTest::addColumn<QStringList>("local");
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("remoteAfter");
    QTest::addColumn<bool>("warned");
    QTest::newRow("short") << QStringList{"MESS340.6"} << 1 << QStringList{"MESS340.6"} << false;
    QTest::newRow("long, other device") << QStringList{"MESS340.WAV"} << 1 << QStringList{"MESS340.WAV"} << false;
    QTest::newRow("long, ixta warns") << QStringList{"MESS340.WAV"} << 0 << QStringList{"MESS340.WAV"} << true;
    QTest::newRow("both: long stays") << QStringList{"MESS340.6", "MESS340.WAV"} << 1 << QStringList{"MESS340.WAV"}
                                      << false;
}

void TestLoadSave::saveMessageFiles()
{
    QFETCH(QStringList, local);
    QFETCH(int, type);
    QFETCH(QStringList, remoteAfter);
    QFETCH(bool, warned);
    Rig rig;
    rig.sim.PutFile("MESS340.6", "old short");
    rig.sim.PutFile("MESS340.WAV", "old long");
    QVERIFY2(rig.Start({"--report", type == 0 ? "IXTA-8" : "SV-300"}), qPrintable(rig.sim.Error));
    FillForSave(rig);
    rig.snap.RecorderType = static_cast<std::uint8_t>(type);
    rig.snap.DeviceReport = type == 0 ? "IXTA-8" : "SV-300";
    if (type == 0)
        rig.snap.Accounts = {{"ADMIN", "pw", "1"}, {"B", "pb", "8"}};
    for (const QString& f : local)
        QVERIFY(WriteTestFile(rig.wf.current() + f, "new " + f.toLatin1()));
    QVERIFY(TSaveProcedure(*rig.parts).ButtonUpdateFaxServerClick());
    QStringList remote;
    for (const QString& f : {QStringLiteral("MESS340.6"), QStringLiteral("MESS340.WAV")}) {
        if (rig.sim.HasFile(f)) {
            remote << f;
            QCOMPARE(rig.sim.FileData(f), "new " + f.toLatin1());
        }
    }
    QCOMPARE(remote, remoteAfter);
    const QString warning = QStringLiteral("For IXTA recorders that message must be shorter than 30 sec.");
    QCOMPARE(rig.msg.Texts().contains(warning), warned);
    if (warned) {
        // Shown before the upload: the warning is the only box and comes with a warning icon.
        QCOMPARE(rig.msg.entries[0].icon, MsgIcon::Warning);
    }
}

void TestLoadSave::saveRefusedDeleteKeepsModified()
{
    Rig rig;
    rig.sim.AddAccount("STALE", "p", "1");
    QVERIFY2(rig.Start({"--report", "SV-300", "--refuse-dele"}), qPrintable(rig.sim.Error));
    FillForSave(rig);
    QVERIFY(!TSaveProcedure(*rig.parts).ButtonUpdateFaxServerClick());
    QCOMPARE(rig.msg.Texts(), QStringList{"Error remote deleting file"});
    QVERIFY(rig.snap.Modified);
    QCOMPARE(rig.Sent("STOR"), (QList<QByteArray>{"STOR USR.ADMIN", "STOR USR.B"}));
    QCOMPARE(rig.sim.CommandLog().last(), QByteArray("QUIT"));
}

void TestLoadSave::saveFailedAccountUploadKeepsModified()
{
    Rig rig;
    // The recorder never answers STOR: the client gives up after its time-out (426).
    QVERIFY2(rig.Start({"--report", "SV-300", "--stall", "STOR"}), qPrintable(rig.sim.Error));
    rig.ftp.Timeout = 1;
    FillForSave(rig);
    QVERIFY(!TSaveProcedure(*rig.parts).ButtonUpdateFaxServerClick());
    QCOMPARE(rig.msg.Texts(), QStringList{"Connection closed suddenly"});
    QVERIFY(rig.snap.Modified);
    QCOMPARE(rig.Sent("STOR"), QList<QByteArray>{"STOR USR.ADMIN"}); // stops at the first failure
    QVERIFY(!rig.progress.shown);
}

void TestLoadSave::saveBadLineNumbers()
{
    Rig rig;
    QVERIFY2(rig.Start({"--report", "IXTA-8"}), qPrintable(rig.sim.Error));
    rig.snap.RecorderType = 0;
    rig.snap.Accounts = {{"OK", "p", "3"}, {"BAD", "p", "9"}};
    rig.snap.Modified = true;
    QVERIFY(!TSaveProcedure(*rig.parts).ButtonUpdateFaxServerClick());
    QCOMPARE(rig.msg.Texts().size(), 2);
    QVERIFY(rig.msg.Texts()[0].startsWith(QStringLiteral("User BAD is assigned an invalid line number.")));
    QCOMPARE(rig.msg.Texts()[1], QStringLiteral("Upload cancelled"));
    QCOMPARE(rig.prompt->Titles, QStringList{});
    QCOMPARE(rig.sim.CommandLog(), QList<QByteArray>{});
    QCOMPARE(FilesIn(rig.wf.current()), QStringList{}); // the local copy is not written
}

void TestLoadSave::eightBitNamesTravelByteForByte()
{
    // A Latin-1 user name: the same bytes in the local file name, on the recorder and back.
    const QByteArray name("J\xc9R\xd4ME");
    Rig rig;
    rig.sim.PutFile("CFG.USR", Cfg8);
    QVERIFY2(rig.Start({"--report", "SV-300"}), qPrintable(rig.sim.Error));
    FillForSave(rig);
    rig.snap.ListMode = 0;
    rig.snap.Accounts.append({name, "p\xe4ss", "5551234"});
    const bool sent = TSaveProcedure(*rig.parts).ButtonUpdateFaxServerClick();
    QVERIFY2(sent && rig.msg.Texts().isEmpty(), qPrintable(rig.msg.Texts().join('|')));
    QVERIFY(NativeFs::Exists(NativeFs::Join(rig.sim.Root(), "USR." + name)));

    Rig other;
    int err = 0;
    bool opened = false;
    QVERIFY(NativeFs::Write(NativeFs::Join(other.sim.Root(), "USR." + name), "p\xe4ss\r\n5551234\r\n", err, opened));
    QVERIFY2(other.Start({"--report", "SV-300"}), qPrintable(other.sim.Error));
    QVERIFY(TLoadProcedure(*other.parts).ButtonUpdateLocalClick());
    QCOMPARE(other.msg.Texts(), QStringList{});
    QVERIFY(other.snap.Accounts.contains(tFTPInfo{name, "p\xe4ss", "5551234"}));
    QVERIFY(NativeFs::Exists(NativeFs::Join(other.wf.current(), "USR." + name)));
}

QTEST_GUILESS_MAIN(TestLoadSave)
#include "tst_loadsave.moc"
