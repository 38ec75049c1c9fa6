// ConnectLogin's retry loop, ReportFtpError's messages and the client's event binding,
// against the test recorder.
#include "ConnectLogin.h"
#include "FtpClient.h"
#include "RecorderRules.h"
#include "RecorderSim.h"
#include "ReplyCapture.h"
#include "ScriptedMessageService.h"
#include "TestFolders.h"

#include <QQueue>
#include <QTcpServer>
#include <QtTest>

#include <optional>

namespace {

// A prompt whose answers are scripted: each answer confirms or cancels and may change
// the password before confirming, as a user correcting a typo would.
class ScriptedPrompt final : public IConnectPrompt
{
public:
    struct Answer
    {
        bool ok = true;
        std::optional<QByteArray> password;
        std::optional<int> port;
    };
    bool PromptConnect(const QString& title) override
    {
        Titles << title;
        if (Answers.isEmpty())
            return false;
        const Answer a = Answers.dequeue();
        if (a.password)
            Password = *a.password;
        if (a.port)
            PortValue = *a.port;
        return a.ok;
    }
    QString Host() const override { return HostText; }
    int Port() const override { return PortValue; }
    QByteArray UserName() const override { return User; }
    QByteArray PassWord() const override { return Password; }

    QString HostText = QStringLiteral("127.0.0.1");
    int PortValue = 21;
    QByteArray User = "ALICE";
    QByteArray Password = "secret";
    QQueue<Answer> Answers;
    QStringList Titles;
};

class RecordingProgress final : public IProgressSink
{
public:
    void ShowProgress() override {}
    void SetPosition(int) override {}
    void SetText(const QString& text) override { Texts << text; }
    void HideProgress() override {}
    QStringList Texts;
};

} // namespace

#define START(sim, ...) QVERIFY2((sim).Start(__VA_ARGS__), qPrintable((sim).Error))

class TestConnectLogin : public QObject
{
    Q_OBJECT

private slots:
    void errorTexts_data();
    void errorTexts();
    void firstAttemptSucceeds();
    void retryAfterWrongPassword();
    void cancelAfterFailures_data();
    void cancelAfterFailures();
    void fixedPromptGivesUp();
    void captureBoundToClient();
    void captureTakesFirstLine();
    void bgExceptionShowsOneMessage();
};

void TestConnectLogin::errorTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("426") << 426 << QStringLiteral("Connection closed suddenly");
    QTest::newRow("520") << 520 << QStringLiteral("Sonvault busy");
    QTest::newRow("530") << 530 << QStringLiteral("Username and/or password wrong");
    QTest::newRow("500") << 500 << QStringLiteral("FTP Error, Status: 500");
    QTest::newRow("550") << 550 << QStringLiteral("FTP Error, Status: 550");
    QTest::newRow("421") << 421 << QStringLiteral("FTP Error, Status: 421");
}

void TestConnectLogin::errorTexts()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(FtpErrorText(code), text);
}

void TestConnectLogin::firstAttemptSucceeds()
{
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    START(sim);
    TFtpClient ftp;
    ScriptedPrompt prompt;
    prompt.PortValue = sim.Port();
    ScriptedMessageService messages;
    RecordingProgress progress;
    RecorderAddress address{"OLDHOST", 21};
    LinkParts link{ftp, prompt, messages, progress, address};
    QVERIFY(ConnectLogin(link, LoadLoginTitle()));
    QVERIFY(ftp.Connected());
    QCOMPARE(ftp.StatusCode(), 230);
    QVERIFY(prompt.Titles.isEmpty());
    QVERIFY(messages.entries.isEmpty());
    QCOMPARE(progress.Texts, QStringList{"Connecting to 127.0.0.1 ..."});
    QCOMPARE(address.Address, QByteArray("127.0.0.1"));
    QCOMPARE(address.Port, int(sim.Port()));
    QCOMPARE(ftp.Port, QString::number(sim.Port()));
}

void TestConnectLogin::retryAfterWrongPassword()
{
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    START(sim);
    TFtpClient ftp;
    ScriptedPrompt prompt;
    prompt.PortValue = sim.Port();
    prompt.Password = "typo";
    prompt.Answers.enqueue({true, QByteArray("secret"), {}});
    ScriptedMessageService messages;
    RecordingProgress progress;
    RecorderAddress address;
    LinkParts link{ftp, prompt, messages, progress, address};
    QVERIFY(ConnectLogin(link, SaveLoginTitle()));
    QCOMPARE(prompt.Titles, QStringList{"Save to Sonvault: Login"});
    QCOMPARE(messages.Texts(), QStringList{"Username and/or password wrong"});
    QCOMPARE(messages.entries.first().caption, QStringLiteral("Pellaro"));
    QCOMPARE(progress.Texts.size(), 2);
    QCOMPARE(sim.Commands(), (QList<QByteArray>{"USER ALICE", "PASS typo", "USER ALICE", "PASS secret"}));
}

void TestConnectLogin::cancelAfterFailures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("refusedPort");
    QTest::addColumn<QString>("message");
    QTest::newRow("wrong password") << QStringList() << false << QStringLiteral("Username and/or password wrong");
    QTest::newRow("busy") << QStringList{"--busy"} << false << QStringLiteral("Sonvault busy");
    QTest::newRow("login not completed") << QStringList{"--pass-reply", "202 Nothing"} << false
                                         << QStringLiteral("Connection Failed");
    QTest::newRow("greeting not 220") << QStringList{"--greeting", "120 Wait"} << false
                                      << QStringLiteral("Connection closed suddenly");
    QTest::newRow("refused") << QStringList() << true << QStringLiteral("FTP Error, Status: 500");
}

void TestConnectLogin::cancelAfterFailures()
{
    QFETCH(QStringList, args);
    QFETCH(bool, refusedPort);
    QFETCH(QString, message);
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    START(sim, args);
    TFtpClient ftp;
    ScriptedPrompt prompt;
    prompt.PortValue = sim.Port();
    if (refusedPort) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        prompt.PortValue = probe.serverPort();
    }
    if (message != QLatin1String("Username and/or password wrong"))
        prompt.Password = "secret";
    else
        prompt.Password = "wrong";
    prompt.Answers.enqueue({}); // OK once with the same values, then Cancel
    ScriptedMessageService messages;
    RecordingProgress progress;
    RecorderAddress address{"KEPT", 2121};
    LinkParts link{ftp, prompt, messages, progress, address};
    QVERIFY(!ConnectLogin(link, LoadLoginTitle()));
    QCOMPARE(prompt.Titles, (QStringList{"Load from Sonvault: Login", "Load from Sonvault: Login"}));
    QCOMPARE(messages.Texts(), (QStringList{message, message}));
    QCOMPARE(address.Address, QByteArray("KEPT"));
    QCOMPARE(address.Port, 2121);
}

void TestConnectLogin::fixedPromptGivesUp()
{
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    START(sim);
    TFtpClient ftp;
    FixedConnectPrompt prompt(sim.Host(), sim.Port(), "ALICE", "bad");
    ScriptedMessageService messages;
    NullProgressSink progress;
    RecorderAddress address;
    LinkParts link{ftp, prompt, messages, progress, address};
    QVERIFY(!ConnectLogin(link, QStringLiteral("Report: Login")));
    QCOMPARE(messages.Texts(), QStringList{"Username and/or password wrong"});
    QCOMPARE(prompt.Titles, QStringList{"Report: Login"});
    QCOMPARE(sim.Commands().size(), 2);
}

void TestConnectLogin::captureBoundToClient()
{
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    START(sim, {"--report", "Sonvault TAVRO fax IST1"});
    TFtpClient ftp;
    ReplyCapture capture(work.path());
    ScriptedMessageService messages;
    BindFtpClientEvents(ftp, capture, messages);
    ftp.HostName = sim.Host();
    ftp.Port = QString::number(sim.Port());
    ftp.UserName = "ALICE";
    ftp.PassWord = "secret";
    QVERIFY(ftp.Connect());
    // As a load does: the line becomes "osreply.txt" in the get folder.
    capture.Arm(false);
    ftp.Quote(ReportCommand);
    capture.Disarm();
    QCOMPARE(ReadTestFile(work.get() + "osreply.txt"), QByteArray("200 Sonvault TAVRO fax IST1\r\n"));
    QVERIFY(IsFaxServer(capture.DeviceReport));
    // As a save does: classify only, nothing written.
    QVERIFY(QFile::remove(work.get() + "osreply.txt"));
    capture.ConnectedKind = RecorderType::Ixta;
    capture.Arm(true);
    ftp.Quote(ReportCommand);
    capture.Disarm();
    QCOMPARE(capture.ConnectedKind, RecorderType::OtherDevices);
    QVERIFY(FilesIn(work.get()).isEmpty());
    QVERIFY(messages.entries.isEmpty());
}

void TestConnectLogin::captureTakesFirstLine()
{
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    sim.PutFile("report.txt", "211-Sonvault UMBA-8 ISE1\r\n211-IXTA line 2\r\n211 End\r\n");
    START(sim, {"--report-file", sim.Root() + "report.txt"});
    TFtpClient ftp;
    ReplyCapture capture(work.path());
    ScriptedMessageService messages;
    BindFtpClientEvents(ftp, capture, messages);
    ftp.HostName = sim.Host();
    ftp.Port = QString::number(sim.Port());
    ftp.UserName = "ALICE";
    ftp.PassWord = "secret";
    QVERIFY(ftp.Connect());
    capture.Arm(false);
    QVERIFY(ftp.Quote(ReportCommand));
    capture.Disarm();
    QCOMPARE(ftp.LastReply().size(), 3);
    QCOMPARE(capture.DeviceReport, QByteArray("211-Sonvault UMBA-8 ISE1"));
    QCOMPARE(ReadTestFile(work.get() + "osreply.txt"), QByteArray("211-Sonvault UMBA-8 ISE1\r\n"));
    QCOMPARE(ClassifyReport(capture.DeviceReport), RecorderType::Ixta);
}

void TestConnectLogin::bgExceptionShowsOneMessage()
{
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    START(sim, {"--flood", "TEST"});
    TFtpClient ftp;
    ReplyCapture capture(work.path());
    ScriptedMessageService messages;
    BindFtpClientEvents(ftp, capture, messages);
    ftp.HostName = sim.Host();
    ftp.Port = QString::number(sim.Port());
    ftp.UserName = "ALICE";
    ftp.PassWord = "secret";
    QVERIFY(ftp.Connect());
    QVERIFY(!ftp.Quote(ReportCommand));
    QCOMPARE(messages.Texts(), QStringList{"FTP Exception"});
    ReportFtpError(ftp, messages);
    QCOMPARE(messages.Texts(), (QStringList{"FTP Exception", "Connection closed suddenly"}));
}

QTEST_GUILESS_MAIN(TestConnectLogin)
#include "tst_connectlogin.moc"
