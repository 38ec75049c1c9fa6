// TFtpClient against the test recorder: every operation, the exact dialogue, the faults.
#include "FtpClient.h"
#include "RecorderRules.h"
#include "RecorderSim.h"
#include "TestFolders.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

// A client bound to a simulator, recording every reply line and every exception.
struct Client
{
    explicit Client(const RecorderSim& sim, const QByteArray& user = "ALICE", const QByteArray& password = "secret")
    {
        ftp.HostName = sim.Host();
        ftp.Port = QString::number(sim.Port());
        ftp.UserName = user;
        ftp.PassWord = password;
        ftp.OnResponse = [this](TFtpClient&, const QByteArray& line) { lines << line; };
        ftp.OnBgException = [this](TFtpClient&, const QString& text) { exceptions << text; };
    }
    TFtpClient ftp;
    QList<QByteArray> lines;
    QStringList exceptions;
};

QByteArray AllBytes(int repeat)
{
    QByteArray data;
    for (int r = 0; r < repeat; ++r)
        for (int b = 0; b < 256; ++b)
            data += char(b);
    data += "\r\n\n\r end";
    return data;
}

bool IsDataCommand(const QByteArray& line)
{
    return line.startsWith("LIST") || line.startsWith("RETR ") || line.startsWith("STOR ");
}

} // namespace

#define START(sim, ...) QVERIFY2((sim).Start(__VA_ARGS__), qPrintable((sim).Error))

class TestFtpClient : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void connectLoginQuit();
    void loginOutcomes_data();
    void loginOutcomes();
    void unreachable_data();
    void unreachable();
    void quoteReport();
    void dirWithGlob();
    void getAndPutBytes();
    void getMissingFile();
    void dele();
    void exactDialogue();
    void replyShapes_data();
    void replyShapes();
    void droppedDataConnection();
    void stallTimesOut_data();
    void stallTimesOut();
    void serverEndsSession();
    void replyTooLong();
    void dataFromStrangerRejected();
    void localFileErrors();
    void lineBreakNeverSent();
    void eventLoopRunsDuringTransfer();
    void ipv6UsesEprt();
};

void TestFtpClient::defaults()
{
    TFtpClient ftp;
    QCOMPARE(ftp.Timeout, 15);
    QVERIFY(!ftp.Connected());
    QCOMPARE(ftp.StatusCode(), 0);
}

void TestFtpClient::connectLoginQuit()
{
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    START(sim);
    Client c(sim);
    QVERIFY(c.ftp.Connect());
    QCOMPARE(c.ftp.StatusCode(), 230);
    QVERIFY(c.ftp.Connected());
    QCOMPARE(c.lines, (QList<QByteArray>{"220 Sonvault test recorder ready.", "331 Username ok, send password.",
                                         "230 Logged in."}));
    QVERIFY(c.ftp.Quit());
    QCOMPARE(c.ftp.StatusCode(), 221);
    QVERIFY(!c.ftp.Connected());
    QCOMPARE(sim.CommandLog(), (QList<QByteArray>{"USER ALICE", "PASS secret", "QUIT"}));
    QVERIFY(c.exceptions.isEmpty());
}

void TestFtpClient::loginOutcomes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("code");
    QTest::newRow("wrong password") << QStringList() << QByteArray("ALICE") << QByteArray("Secret") << false << 530;
    QTest::newRow("unknown user") << QStringList() << QByteArray("MALLORY") << QByteArray("secret") << false << 530;
    QTest::newRow("empty password") << QStringList() << QByteArray("ALICE") << QByteArray() << false << 530;
    QTest::newRow("recorder busy") << QStringList{"--busy"} << QByteArray("ALICE") << QByteArray("secret") << false
                                   << 520;
    QTest::newRow("greeting 421") << QStringList{"--greeting", "421 Too many connections"} << QByteArray("ALICE")
                                  << QByteArray("secret") << false << 421;
    QTest::newRow("greeting 520") << QStringList{"--greeting", "520 Sonvault busy"} << QByteArray("ALICE")
                                  << QByteArray("secret") << false << 520;
    QTest::newRow("login ends with 202") << QStringList{"--pass-reply", "202 Nothing to do"} << QByteArray("ALICE")
                                         << QByteArray("secret") << true << 202;
    QTest::newRow("admin account") << QStringList{"--admin", "ADMIN:root pw"} << QByteArray("ADMIN")
                                   << QByteArray("root pw") << true << 230;
    QTest::newRow("password case matters")
        << QStringList() << QByteArray("alice") << QByteArray("secret") << false << 530;
}

void TestFtpClient::loginOutcomes()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, password);
    QFETCH(bool, result);
    QFETCH(int, code);
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    START(sim, args);
    Client c(sim, user, password);
    QCOMPARE(c.ftp.Connect(), result);
    QCOMPARE(c.ftp.StatusCode(), code);
    QCOMPARE(c.ftp.Connected(), result);
    if (!result) {
        // The next attempt opens a fresh connection and can succeed.
        c.ftp.UserName = "ALICE";
        c.ftp.PassWord = "secret";
        if (args.isEmpty()) {
            QVERIFY(c.ftp.Connect());
            QCOMPARE(c.ftp.StatusCode(), 230);
        }
    }
}

void TestFtpClient::unreachable_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    // A port that was free a moment ago: nothing listens there.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const QString closedPort = QString::number(probe.serverPort());
    probe.close();
    QTest::newRow("connection refused") << QStringLiteral("127.0.0.1") << closedPort;
    // The empty label makes the resolver refuse the name on this machine, so
    // the lookup fails without a query leaving it.
    QTest::newRow("host not found") << QStringLiteral("no-such-host..invalid") << QStringLiteral("21");
    QTest::newRow("bad port text") << QStringLiteral("127.0.0.1") << QStringLiteral("twenty-one");
}

void TestFtpClient::unreachable()
{
    QFETCH(QString, host);
    QFETCH(QString, port);
    TFtpClient ftp;
    ftp.HostName = host;
    ftp.Port = port;
    ftp.UserName = "ALICE";
    QVERIFY(!ftp.Connect());
    QCOMPARE(ftp.StatusCode(), 500);
    QVERIFY(!ftp.Connected());
    QVERIFY(!ftp.ErrorText().isEmpty());
}

void TestFtpClient::quoteReport()
{
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    START(sim, {"--report", "Sonvault UMBA-4 IST1"});
    Client c(sim);
    QVERIFY(c.ftp.Connect());
    c.lines.clear();
    QVERIFY(c.ftp.Quote(ReportCommand));
    QCOMPARE(c.ftp.StatusCode(), 200);
    QCOMPARE(c.lines, (QList<QByteArray>{"200 Sonvault UMBA-4 IST1"}));
    c.ftp.LocalFileName = QStringLiteral("test unknown");
    QVERIFY(!c.ftp.Quote());
    QCOMPARE(c.ftp.StatusCode(), 501);
    QVERIFY(c.ftp.Connected());
    QCOMPARE(sim.Commands().mid(2), (QList<QByteArray>{"test report2", "test unknown"}));
}

void TestFtpClient::dirWithGlob()
{
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    sim.AddAccount("BOB", "pw");
    sim.PutFile("USR.", "x\r\n");
    sim.PutFile("BLACK.TXT", "123\r\n");
    sim.PutFile("CFG.USR", "1\r");
    START(sim);
    Client c(sim);
    QVERIFY(c.ftp.Connect());
    c.ftp.HostFileName = "USR.*";
    c.ftp.LocalFileName = work.path() + "FTPAccount.lst";
    QVERIFY(c.ftp.Dir());
    QCOMPARE(c.ftp.StatusCode(), 226);
    QList<QByteArray> names;
    for (const QByteArray& line : ReadTestFile(c.ftp.LocalFileName).split('\n')) {
        if (!line.trimmed().isEmpty()) {
            QVERIFY2(line.startsWith("-rw"), line.constData()); // "ls -l" style
            names << line.trimmed().mid(line.trimmed().lastIndexOf(' ') + 1);
        }
    }
    QCOMPARE(names, (QList<QByteArray>{"USR.", "USR.ALICE", "USR.BOB"}));

    c.ftp.HostFileName.clear();
    QVERIFY(c.ftp.Dir());
    QVERIFY(ReadTestFile(c.ftp.LocalFileName).contains("BLACK.TXT"));
    QCOMPARE(sim.Commands().mid(2), (QList<QByteArray>{"LIST USR.*", "LIST"}));
}

void TestFtpClient::getAndPutBytes()
{
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    const QByteArray small = AllBytes(1);
    const QByteArray big = AllBytes(9000); // about 2.3 MB, many chunks
    sim.PutFile("MESS340.6", small);
    START(sim);
    Client c(sim);
    QVERIFY(c.ftp.Connect());

    c.ftp.HostFileName = "MESS340.6";
    c.ftp.LocalFileName = work.get() + "MESS340.6";
    QVERIFY(c.ftp.Get());
    QCOMPARE(c.ftp.StatusCode(), 226);
    QCOMPARE(ReadTestFile(c.ftp.LocalFileName), small);

    QVERIFY(WriteTestFile(work.current() + "BIG.WAV", big));
    c.ftp.HostFileName = "MESS340.WAV";
    c.ftp.LocalFileName = work.current() + "BIG.WAV";
    QVERIFY2(c.ftp.Put(), qPrintable(c.ftp.ErrorText() + " " + QString::number(c.ftp.StatusCode())));
    QCOMPARE(c.ftp.StatusCode(), 226);
    QCOMPARE(sim.FileData("MESS340.WAV"), big);

    c.ftp.LocalFileName = work.get() + "MESS340.WAV";
    QVERIFY(c.ftp.Get());
    QCOMPARE(ReadTestFile(c.ftp.LocalFileName), big);

    // An empty file both ways.
    QVERIFY(WriteTestFile(work.current() + "EMPTY", {}));
    c.ftp.HostFileName = "EMPTY";
    c.ftp.LocalFileName = work.current() + "EMPTY";
    QVERIFY(c.ftp.Put());
    QVERIFY(sim.HasFile("EMPTY"));
    c.ftp.LocalFileName = work.get() + "EMPTY";
    QVERIFY(c.ftp.Get());
    QVERIFY(QFile::exists(c.ftp.LocalFileName));
    QVERIFY(c.exceptions.isEmpty());
}

void TestFtpClient::getMissingFile()
{
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    START(sim);
    Client c(sim);
    QVERIFY(c.ftp.Connect());
    c.ftp.HostFileName = "MESS340.6";
    c.ftp.LocalFileName = work.get() + "MESS340.6";
    QVERIFY(!c.ftp.Get());
    QCOMPARE(c.ftp.StatusCode(), 550);
    QVERIFY(c.ftp.Connected());
    // The session goes on.
    QVERIFY(c.ftp.Quote(ReportCommand));
}

void TestFtpClient::dele()
{
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    sim.AddAccount("OLD", "pw");
    START(sim);
    Client c(sim);
    QVERIFY(c.ftp.Connect());
    c.ftp.HostFileName = "USR.OLD";
    QVERIFY(c.ftp.Dele());
    QCOMPARE(c.ftp.StatusCode(), 250);
    QVERIFY(!sim.HasFile("USR.OLD"));
    QVERIFY(!c.ftp.Dele());
    QCOMPARE(c.ftp.StatusCode(), 550);

    RecorderSim refusing;
    refusing.AddAccount("ALICE", "secret");
    START(refusing, {"--refuse-dele"});
    Client r(refusing);
    QVERIFY(r.ftp.Connect());
    r.ftp.HostFileName = "USR.ALICE";
    QVERIFY(!r.ftp.Dele());
    QCOMPARE(r.ftp.StatusCode(), 550);
    QVERIFY(refusing.HasFile("USR.ALICE"));
}

void TestFtpClient::exactDialogue()
{
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    sim.PutFile("CFG.USR", "a\rb\r");
    START(sim);
    Client c(sim);
    QVERIFY(c.ftp.Connect());
    QVERIFY(c.ftp.Quote(ReportCommand));
    c.ftp.HostFileName = "USR.*";
    c.ftp.LocalFileName = work.path() + "FTPAccount.lst";
    QVERIFY(c.ftp.Dir());
    c.ftp.HostFileName = "CFG.USR";
    c.ftp.LocalFileName = work.current() + "CFG.USR";
    QVERIFY(c.ftp.Get());
    QVERIFY(c.ftp.Put());
    c.ftp.HostFileName = KeyCommand(QByteArray("\x82\x43\x44", 3));
    c.ftp.LocalFileName = work.path() + "TEMP.TXT";
    QVERIFY(c.ftp.Dir());
    QCOMPARE(c.ftp.StatusCode(), 226);
    c.ftp.HostFileName = "USR.GONE";
    c.ftp.Dele();
    QVERIFY(c.ftp.Quit());

    const QList<QByteArray> log = sim.CommandLog();
    QCOMPARE(sim.Commands(),
             (QList<QByteArray>{"USER ALICE", "PASS secret", "test report2", "LIST USR.*", "RETR CFG.USR",
                                "STOR CFG.USR", "LIST [K]824344", "DELE USR.GONE", "QUIT"}));
    for (qsizetype i = 0; i < log.size(); ++i) {
        QVERIFY2(!log[i].startsWith("TYPE") && !log[i].startsWith("PASV") && !log[i].startsWith("EPSV"),
                 log[i].constData());
        if (IsDataCommand(log[i]))
            QVERIFY2(i > 0 && log[i - 1].startsWith("PORT 127,0,0,1,"), log[i].constData());
        if (log[i].startsWith("PORT "))
            QVERIFY(i + 1 < log.size() && IsDataCommand(log[i + 1]));
    }
    QCOMPARE(sim.KeyLog(), (QList<QByteArray>{"[K]824344 82 43 44"}));
    QCOMPARE(sim.FileData("CFG.USR"), QByteArray("a\rb\r"));
}

// Replies in unusual but legal shapes: the whole session still works.
void TestFtpClient::replyShapes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("passLines");
    QTest::newRow("multi-line login reply") << QStringList{"--multiline", "PASS"} << 5;
    QTest::newRow("multi-line transfer reply") << QStringList{"--multiline", "RETR"} << 1;
    QTest::newRow("split in 3-byte pieces") << QStringList{"--split"} << 1;
    QTest::newRow("preliminary with final reply") << QStringList{"--coalesce"} << 1;
    QTest::newRow("bare LF line ends") << QStringList{"--bare-lf"} << 1;
    QTest::newRow("every reply delayed") << QStringList{"--delay-ms", "40"} << 1;
}

void TestFtpClient::replyShapes()
{
    QFETCH(QStringList, args);
    QFETCH(int, passLines);
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    sim.PutFile("BLACK.TXT", AllBytes(4));
    START(sim, args);
    Client c(sim);
    QVERIFY(c.ftp.Connect());
    QCOMPARE(c.ftp.StatusCode(), 230);
    QCOMPARE(c.ftp.LastReply().size(), passLines);
    if (passLines > 1) {
        QCOMPARE(c.lines.mid(c.lines.size() - passLines),
                 (QList<QByteArray>{"230-Logged in.", "230-second line of a multi-line reply", " a line without a code",
                                    "230-999 a line with another code", "230 End"}));
    }
    c.lines.clear();
    QVERIFY(c.ftp.Quote(ReportCommand));
    QCOMPARE(c.lines.value(0), QByteArray("200 Sonvault IXTA 8 lines V3.1 ISE1"));
    c.ftp.HostFileName = "BLACK.TXT";
    c.ftp.LocalFileName = work.get() + "BLACK.TXT";
    QVERIFY(c.ftp.Get());
    QCOMPARE(c.ftp.StatusCode(), 226);
    QCOMPARE(ReadTestFile(c.ftp.LocalFileName), AllBytes(4));
    c.ftp.HostFileName = "USR.*";
    c.ftp.LocalFileName = work.path() + "FTPAccount.lst";
    QVERIFY(c.ftp.Dir());
    QVERIFY(ReadTestFile(c.ftp.LocalFileName).contains("USR.ALICE"));
    QVERIFY(c.ftp.Quit());
    QVERIFY(c.exceptions.isEmpty());
}

void TestFtpClient::droppedDataConnection()
{
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    sim.PutFile("MESS340.WAV", AllBytes(40));
    START(sim, {"--drop-after", "1000"});
    Client c(sim);
    QVERIFY(c.ftp.Connect());
    c.ftp.HostFileName = "MESS340.WAV";
    c.ftp.LocalFileName = work.get() + "MESS340.WAV";
    QVERIFY(!c.ftp.Get());
    QCOMPARE(c.ftp.StatusCode(), 426);
    QVERIFY(c.ftp.Connected());

    QVERIFY(WriteTestFile(work.current() + "BLACK.TXT", AllBytes(400)));
    c.ftp.HostFileName = "BLACK.TXT";
    c.ftp.LocalFileName = work.current() + "BLACK.TXT";
    QVERIFY(!c.ftp.Put());
    QCOMPARE(c.ftp.StatusCode(), 426);
    QVERIFY(sim.FileData("BLACK.TXT").size() <= 1000);
    // The control connection stays in step.
    QVERIFY(c.ftp.Connected());
    QVERIFY(c.ftp.Quote(ReportCommand));
    QCOMPARE(c.ftp.StatusCode(), 200);
}

void TestFtpClient::stallTimesOut_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("operation");
    QTest::newRow("no reply to RETR") << QStringList{"--stall", "RETR"} << QStringLiteral("get");
    QTest::newRow("data stops after 100 bytes") << QStringList{"--stall-data-after", "100"} << QStringLiteral("get");
    QTest::newRow("no reply to the report") << QStringList{"--stall", "TEST"} << QStringLiteral("quote");
    QTest::newRow("no reply to PASS") << QStringList{"--stall", "PASS"} << QStringLiteral("connect");
}

void TestFtpClient::stallTimesOut()
{
    QFETCH(QStringList, args);
    QFETCH(QString, operation);
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    sim.PutFile("MESS340.6", AllBytes(8));
    START(sim, args);
    Client c(sim);
    c.ftp.Timeout = 1;
    bool ok = c.ftp.Connect();
    if (operation != QLatin1String("connect")) {
        QVERIFY(ok);
        if (operation == QLatin1String("quote")) {
            ok = c.ftp.Quote(ReportCommand);
        } else {
            c.ftp.HostFileName = "MESS340.6";
            c.ftp.LocalFileName = work.get() + "MESS340.6";
            ok = c.ftp.Get();
        }
    }
    QVERIFY(!ok);
    QCOMPARE(c.ftp.StatusCode(), 426);
    QVERIFY(!c.ftp.Connected());
}

void TestFtpClient::serverEndsSession()
{
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    sim.PutFile("CFG.USR", "1\r");
    START(sim, {"--drop-421", "RETR"});
    Client c(sim);
    QVERIFY(c.ftp.Connect());
    c.ftp.HostFileName = "CFG.USR";
    c.ftp.LocalFileName = work.get() + "CFG.USR";
    QVERIFY(!c.ftp.Get());
    QCOMPARE(c.ftp.StatusCode(), 421);
    QVERIFY(!c.ftp.Connected());
    QVERIFY(c.lines.last().startsWith("421 "));
    // Later operations fail at once as a closed connection.
    QVERIFY(!c.ftp.Get());
    QCOMPARE(c.ftp.StatusCode(), 426);
    QVERIFY(!c.ftp.Quit());
}

void TestFtpClient::replyTooLong()
{
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    START(sim, {"--flood", "TEST"});
    Client c(sim);
    QVERIFY(c.ftp.Connect());
    c.lines.clear();
    QVERIFY(!c.ftp.Quote(ReportCommand));
    QCOMPARE(c.ftp.StatusCode(), 426);
    QVERIFY(!c.ftp.Connected());
    QCOMPARE(c.exceptions.size(), 1);
    QVERIFY2(c.exceptions.first().contains("Reply longer than"), qPrintable(c.exceptions.first()));
    // Only what fits under the cap was passed on.
    qint64 total = 0;
    for (const QByteArray& line : c.lines)
        total += line.size();
    QVERIFY(total <= c.ftp.MaxReplyBytes);
}

void TestFtpClient::dataFromStrangerRejected()
{
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    sim.PutFile("BLACK.TXT", "0123456789\r\n");
    START(sim, {"--intrude"});
    Client c(sim);
    QVERIFY(c.ftp.Connect());
    c.ftp.HostFileName = "BLACK.TXT";
    c.ftp.LocalFileName = work.get() + "BLACK.TXT";
    QVERIFY(c.ftp.Get());
    QCOMPARE(ReadTestFile(c.ftp.LocalFileName), QByteArray("0123456789\r\n"));
    const QList<QByteArray> log = sim.CommandLog();
    // The stranger from 127.0.0.2 reached the port (and was dropped); after the transfer
    // the port is closed even for the recorder's own address.
    QVERIFY2(log.contains("INTRUDE first connected"), log.join('|').constData());
    QVERIFY2(log.contains("INTRUDE second refused"), log.join('|').constData());
}

void TestFtpClient::localFileErrors()
{
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    sim.PutFile("BLACK.TXT", "1\r\n");
    START(sim);
    Client c(sim);
    QVERIFY(c.ftp.Connect());
    c.ftp.HostFileName = "BLACK.TXT";
    c.ftp.LocalFileName = work.path() + "missing-folder/BLACK.TXT";
    QVERIFY(!c.ftp.Get());
    QCOMPARE(c.ftp.StatusCode(), 0);
    QCOMPARE(c.exceptions.size(), 1);
    QVERIFY2(c.exceptions.first().startsWith("Cannot create file \""), qPrintable(c.exceptions.first()));
    QVERIFY(!c.ftp.Put());
    QCOMPARE(c.ftp.StatusCode(), 0);
    QCOMPARE(c.exceptions.size(), 2);

    // A file another process holds is neither truncated nor sent.
    const QString held = work.get() + "BLACK.TXT";
    QVERIFY(WriteTestFile(held, "kept\r\n"));
    const int other = ::open(QFile::encodeName(held).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(other >= 0);
    QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), 0);
    c.ftp.LocalFileName = held;
    QVERIFY(!c.ftp.Get());
    QCOMPARE(c.ftp.StatusCode(), 0);
    QVERIFY(!c.ftp.Put());
    QCOMPARE(c.exceptions.size(), 4);
    QVERIFY2(c.exceptions.last().endsWith("The file is in use by another program."), qPrintable(c.exceptions.last()));
    QCOMPARE(ReadTestFile(held), QByteArray("kept\r\n"));
    ::close(other);
    QVERIFY(c.ftp.Get()); // released: the download replaces it
    QCOMPARE(ReadTestFile(held), QByteArray("1\r\n"));

    QVERIFY(c.ftp.Connected());
    QCOMPARE(sim.Commands(), (QList<QByteArray>{"USER ALICE", "PASS secret", "RETR BLACK.TXT"}));
}

void TestFtpClient::lineBreakNeverSent()
{
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    START(sim);
    Client c(sim);
    QVERIFY(c.ftp.Connect());
    c.ftp.HostFileName = "X\r\nDELE USR.ALICE";
    QVERIFY(!c.ftp.Dele());
    QCOMPARE(c.ftp.StatusCode(), 501);
    c.ftp.LocalFileName = work.get() + "X";
    QVERIFY(!c.ftp.Get());
    QCOMPARE(c.ftp.StatusCode(), 501);
    QVERIFY(!QFile::exists(c.ftp.LocalFileName)); // nothing truncated or created
    QVERIFY(!c.ftp.Quote("NOOP\nDELE USR.ALICE"));
    QVERIFY(sim.HasFile("USR.ALICE"));
    QVERIFY(c.ftp.Quit());
    QCOMPARE(sim.Commands(), (QList<QByteArray>{"USER ALICE", "PASS secret", "QUIT"}));
}

void TestFtpClient::eventLoopRunsDuringTransfer()
{
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    sim.PutFile("BLACK.TXT", "1\r\n");
    START(sim, {"--delay-ms", "300"});
    Client c(sim);
    QVERIFY(c.ftp.Connect());
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &timer, [&ticks] { ++ticks; });
    timer.start(20);
    c.ftp.HostFileName = "BLACK.TXT";
    c.ftp.LocalFileName = work.get() + "BLACK.TXT";
    QVERIFY(c.ftp.Get());
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
}

void TestFtpClient::ipv6UsesEprt()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHostIPv6, 0))
        QSKIP("no IPv6 loopback on this machine");
    probe.close();
    TempWorkFolder work;
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    sim.PutFile("BLACK.TXT", AllBytes(2));
    START(sim, {}, QStringLiteral("::1"));
    Client c(sim);
    QVERIFY(c.ftp.Connect());
    c.ftp.HostFileName = "BLACK.TXT";
    c.ftp.LocalFileName = work.get() + "BLACK.TXT";
    QVERIFY(c.ftp.Get());
    QCOMPARE(ReadTestFile(c.ftp.LocalFileName), AllBytes(2));
    const QList<QByteArray> log = sim.CommandLog();
    QCOMPARE(log.size(), 4);
    QVERIFY2(log[2].startsWith("EPRT |2|::1|"), log[2].constData());
    QCOMPARE(log[3], QByteArray("RETR BLACK.TXT"));
}

QTEST_GUILESS_MAIN(TestFtpClient)
#include "tst_ftpclient.moc"
