#include "ConfigSnapshot.h"
#include "NativeFs.h"
#include "ScriptedMessageService.h"
#include "TestFolders.h"

#include <QtTest>

namespace {

QByteArray Bytes(const QString& path)
{
    return ReadTestFile(path);
}

} // namespace

class TestConfigSnapshot : public QObject
{
    Q_OBJECT

private slots:
    void loadEmptyFolder();
    void loadAccounts();
    void loadAccountLineCounts_data();
    void loadAccountLineCounts();
    void loadSkipsFoldersAndHidden();
    void loadMessageFiles_data();
    void loadMessageFiles();
    void loadNumbers();
    void loadReport_data();
    void loadReport();
    void loadListMode_data();
    void loadListMode();
    void loadFailureStopsAndKeepsAccounts();
    void loadByteExactNames();
    void saveWritesMirror();
    void saveSubstitutesReport();
    void saveEmptyReport();
    void saveCfgLineEnds_data();
    void saveCfgLineEnds();
    void saveRefusesUnsafeNames_data();
    void saveRefusesUnsafeNames();
    void saveFailureStopsAtFile();
    void clearFolderExceptKept();
    void copyFolder();
    void copyFolderReportsFailure();
};

void TestConfigSnapshot::loadEmptyFolder()
{
    TempWorkFolder wf;
    ScriptedMessageService msg;
    ConfigSnapshot s;
    s.Accounts.append({"OLD", "p", "1"});
    s.Numbers.append("999");
    s.ListMode = 2;
    s.RecorderType = 0;
    s.DeviceReport = "IXTA";
    s.Modified = true;
    QVERIFY(LoadSnapshot(s, wf.current(), msg));
    QVERIFY(s.DeviceReport.isEmpty());
    QCOMPARE(s.RecorderType, 1);
    QVERIFY(s.Accounts.isEmpty());
    QVERIFY(!s.MessagePresent);
    QVERIFY(s.MessageFile.isEmpty());
    QCOMPARE(s.ListMode, 0);
    QVERIFY(s.Numbers.isEmpty());
    QVERIFY(s.Modified); // loading never touches the flag
    QVERIFY(msg.entries.isEmpty());
}

void TestConfigSnapshot::loadAccounts()
{
    TempWorkFolder wf;
    QVERIFY(WriteTestFile(wf.current() + "USR.JOHN", "secret\r\n3\r\n"));
    QVERIFY(WriteTestFile(wf.current() + "usr.anna", "pw\n5551234"));
    QVERIFY(WriteTestFile(wf.current() + "USR.a.b", "x\ry\r"));
    QVERIFY(WriteTestFile(wf.current() + "Usr.Mixed", "m\r\n7\r\n"));
    QVERIFY(WriteTestFile(wf.current() + "USRX.NOT", "n\r\n1\r\n"));
    QVERIFY(WriteTestFile(wf.current() + "USR", "n\r\n1\r\n"));
    ScriptedMessageService msg;
    ConfigSnapshot s;
    QVERIFY(LoadSnapshot(s, wf.current(), msg));
    // Enumeration order is bytewise by file name.
    QList<tFTPInfo> expected{{"JOHN", "secret", "3"}, {"a.b", "x", "y"}, {"Mixed", "m", "7"}, {"anna", "pw", "5551234"}};
    QCOMPARE(s.Accounts, expected);
}

void TestConfigSnapshot::loadAccountLineCounts_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("number");
    QTest::newRow("empty file") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("one line is not used") << QByteArray("onlypw\r\n") << QByteArray() << QByteArray();
    QTest::newRow("two lines") << QByteArray("pw\r\n8\r\n") << QByteArray("pw") << QByteArray("8");
    QTest::newRow("five lines use two") << QByteArray("a\r\nb\r\nc\r\nd\r\ne\r\n") << QByteArray("a") << QByteArray("b");
    QTest::newRow("empty password line") << QByteArray("\r\n4\r\n") << QByteArray() << QByteArray("4");
}

void TestConfigSnapshot::loadAccountLineCounts()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, number);
    TempWorkFolder wf;
    QVERIFY(WriteTestFile(wf.current() + "USR.X", content));
    ScriptedMessageService msg;
    ConfigSnapshot s;
    QVERIFY(LoadSnapshot(s, wf.current(), msg));
    QCOMPARE(s.Accounts.size(), 1);
    QCOMPARE(s.Accounts[0].Name, QByteArray("X"));
    QCOMPARE(s.Accounts[0].Password, password);
    QCOMPARE(s.Accounts[0].Number, number);
}

void TestConfigSnapshot::loadSkipsFoldersAndHidden()
{
    TempWorkFolder wf;
    QVERIFY(QDir(wf.current()).mkdir("USR.DIR"));
    QVERIFY(WriteTestFile(wf.current() + ".USR.hidden", "a\r\nb\r\n"));
    QVERIFY(WriteTestFile(wf.current() + "USR.OK", "a\r\nb\r\n"));
    ScriptedMessageService msg;
    ConfigSnapshot s;
    QVERIFY(LoadSnapshot(s, wf.current(), msg));
    QCOMPARE(s.Accounts, (QList<tFTPInfo>{{"OK", "a", "b"}}));
}

void TestConfigSnapshot::loadMessageFiles_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("messageFile");
    QTest::addColumn<bool>("present");
    QTest::addColumn<int>("seconds");
    QTest::newRow("none keeps seconds") << QStringList{} << QString() << false << 12;
    QTest::newRow("short") << QStringList{"MESS340.6"} << QStringLiteral("MESS340.6") << true << -1;
    QTest::newRow("long") << QStringList{"MESS340.WAV"} << QStringLiteral("MESS340.WAV") << true << -1;
    QTest::newRow("both: long wins") << QStringList{"MESS340.6", "MESS340.WAV"} << QStringLiteral("MESS340.WAV")
                                     << true << -1;
    QTest::newRow("lower case is not the message") << QStringList{"mess340.6"} << QString() << false << 12;
}

void TestConfigSnapshot::loadMessageFiles()
{
    QFETCH(QStringList, files);
    QFETCH(QString, messageFile);
    QFETCH(bool, present);
    QFETCH(int, seconds);
    TempWorkFolder wf;
    for (const QString& f : files)
        QVERIFY(WriteTestFile(wf.current() + f, "RIFF"));
    ScriptedMessageService msg;
    ConfigSnapshot s;
    s.MessageSeconds = 12;
    s.MessageFile = QStringLiteral("stale");
    s.MessagePresent = true;
    QVERIFY(LoadSnapshot(s, wf.current(), msg));
    QCOMPARE(s.MessageFile, messageFile);
    QCOMPARE(s.MessagePresent, present);
    QCOMPARE(s.MessageSeconds, seconds);
}

void TestConfigSnapshot::loadNumbers()
{
    TempWorkFolder wf;
    QVERIFY(WriteTestFile(wf.current() + "BLACK.TXT", "123\r\n\r\n  \r\n123\r\n"));
    ScriptedMessageService msg;
    ConfigSnapshot s;
    s.Numbers = {"old"};
    QVERIFY(LoadSnapshot(s, wf.current(), msg));
    QCOMPARE(s.Numbers, (QList<QByteArray>{"123", "  ", "123"}));
}

void TestConfigSnapshot::loadReport_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<int>("type");
    QTest::newRow("IXTA anywhere") << QByteArray("model xIXTAx 8 lines\r\nsecond\r\n") << QByteArray("model xIXTAx 8 lines")
                                   << 0;
    QTest::newRow("UMBA") << QByteArray("UMBA-4\n") << QByteArray("UMBA-4") << 0;
    QTest::newRow("lower case ixta") << QByteArray("ixta\r\n") << QByteArray("ixta") << 1;
    QTest::newRow("other device") << QByteArray("SV-300 ISE1") << QByteArray("SV-300 ISE1") << 1;
    QTest::newRow("empty file") << QByteArray() << QByteArray() << 1;
    QTest::newRow("one empty line") << QByteArray("\r\n") << QByteArray() << 1;
}

void TestConfigSnapshot::loadReport()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, report);
    QFETCH(int, type);
    TempWorkFolder wf;
    QVERIFY(WriteTestFile(wf.current() + "osreply.txt", content));
    ScriptedMessageService msg;
    ConfigSnapshot s;
    QVERIFY(LoadSnapshot(s, wf.current(), msg));
    QCOMPARE(s.DeviceReport, report);
    QCOMPARE(int(s.RecorderType), type);
}

void TestConfigSnapshot::loadListMode_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<QByteArray>("cfg");
    QTest::addColumn<int>("mode");
    QTest::newRow("other: line 4") << QByteArray("SV") << QByteArray("a\rb\rc\r2\re\r1\r1\rh\r") << 2;
    QTest::newRow("ixta: lines 6 and 7") << QByteArray("IXTA") << QByteArray("a\rb\rc\r0\re\r1\r1\rh\r") << 2;
    QTest::newRow("undeterminable gives 0") << QByteArray("SV") << QByteArray("a\rb\rc\rX\re\r1\r1\rh\r") << 0;
    QTest::newRow("too short gives 0") << QByteArray("SV") << QByteArray("a\rb\rc\r2\r") << 0;
    QTest::newRow("LF CR line ends") << QByteArray("SV") << QByteArray("a\n\rb\n\rc\n\r1\n\re\n\rf\n\rg\n\rh") << 1;
}

void TestConfigSnapshot::loadListMode()
{
    QFETCH(QByteArray, report);
    QFETCH(QByteArray, cfg);
    QFETCH(int, mode);
    TempWorkFolder wf;
    QVERIFY(WriteTestFile(wf.current() + "osreply.txt", report + "\r\n"));
    QVERIFY(WriteTestFile(wf.current() + "CFG.USR", cfg));
    ScriptedMessageService msg;
    ConfigSnapshot s;
    s.ListMode = 1;
    QVERIFY(LoadSnapshot(s, wf.current(), msg));
    QCOMPARE(s.ListMode, mode);
}

void TestConfigSnapshot::loadFailureStopsAndKeepsAccounts()
{
    // A directory named like a fixed file exists but cannot be read: the reading stops there,
    // the error names the path, and the accounts of the previous snapshot stay.
    TempWorkFolder wf;
    QVERIFY(WriteTestFile(wf.current() + "osreply.txt", "IXTA\r\n"));
    QVERIFY(WriteTestFile(wf.current() + "USR.NEW", "p\r\n1\r\n"));
    QVERIFY(WriteTestFile(wf.current() + "MESS340.6", "x"));
    QVERIFY(QDir(wf.current()).mkdir("CFG.USR"));
    ScriptedMessageService msg;
    ConfigSnapshot s;
    s.Accounts = {{"OLD", "p", "2"}};
    s.Numbers = {"555"};
    QVERIFY(!LoadSnapshot(s, wf.current(), msg));
    QCOMPARE(msg.entries.size(), 1);
    QCOMPARE(msg.entries[0].kind, ScriptedMessageService::Entry::Error);
    QCOMPARE(msg.entries[0].text,
             QStringLiteral("Cannot open file \"%1CFG.USR\". Is a directory").arg(wf.current()));
    QCOMPARE(s.DeviceReport, QByteArray("IXTA")); // earlier steps stay changed
    QCOMPARE(s.RecorderType, 0);
    QVERIFY(s.MessagePresent);
    QCOMPARE(s.Accounts, (QList<tFTPInfo>{{"OLD", "p", "2"}}));
    QCOMPARE(s.Numbers, QList<QByteArray>{"555"}); // not reached
}

void TestConfigSnapshot::loadByteExactNames()
{
    // 8-bit names travel between file names and the snapshot byte for byte.
    TempWorkFolder wf;
    ConfigSnapshot s;
    s.RecorderType = 1;
    s.Accounts = {{"J\xe9R\xd4ME", "p\xe4ss", "+49 (0) 5"}};
    s.Numbers = {"\xff\x80"};
    ScriptedMessageService msg;
    QVERIFY(SaveSnapshot(s, wf.current(), msg));
    // The file name holds the name's bytes, not a re-encoding of them.
    QVERIFY(NativeFs::Exists(NativeFs::Join(wf.current(), "USR.J\xe9R\xd4ME")));
    QCOMPARE(NativeFs::PlainFiles(wf.current(), true),
             (QList<QByteArray>{"BLACK.TXT", "USR.J\xe9R\xd4ME", "osreply.txt"}));
    ConfigSnapshot back;
    QVERIFY(LoadSnapshot(back, wf.current(), msg));
    QCOMPARE(back.Accounts, s.Accounts);
    QCOMPARE(back.Numbers, s.Numbers);
    QVERIFY(msg.entries.isEmpty());
}

void TestConfigSnapshot::saveWritesMirror()
{
    TempWorkFolder wf;
    QVERIFY(WriteTestFile(wf.current() + "USR.GONE", "p\r\n1\r\n"));
    QVERIFY(WriteTestFile(wf.current() + "stray.bin", "x"));
    QVERIFY(WriteTestFile(wf.current() + "mess340.6", "lower case is not kept"));
    QVERIFY(WriteTestFile(wf.current() + "MESS340.6", "short"));
    QVERIFY(WriteTestFile(wf.current() + "MESS340.WAV", "long"));
    QVERIFY(QDir(wf.current()).mkdir("sub"));

    ConfigSnapshot s;
    s.DeviceReport = "SV-300 ISE1";
    s.RecorderType = 1;
    s.Accounts = {{"ANNA", "pw1", "5551234"}, {"BOB", "", ""}};
    s.Numbers = {"123", "  ", "456"};
    s.Modified = true;
    ScriptedMessageService msg;
    QVERIFY(SaveSnapshot(s, wf.current(), msg));
    QVERIFY(msg.entries.isEmpty());
    QCOMPARE(FilesIn(wf.current()),
             (QStringList{"BLACK.TXT", "MESS340.6", "MESS340.WAV", "USR.ANNA", "USR.BOB", "osreply.txt"}));
    QVERIFY(QDir(wf.current() + "sub").exists());
    QCOMPARE(Bytes(wf.current() + "osreply.txt"), QByteArray("SV-300 ISE1\r\n"));
    QCOMPARE(Bytes(wf.current() + "USR.ANNA"), QByteArray("pw1\r\n5551234\r\n"));
    QCOMPARE(Bytes(wf.current() + "USR.BOB"), QByteArray("\r\n\r\n"));
    QCOMPARE(Bytes(wf.current() + "BLACK.TXT"), QByteArray("123\r\n  \r\n456\r\n"));
    QCOMPARE(Bytes(wf.current() + "MESS340.6"), QByteArray("short"));

    // Read back: the same snapshot.
    ConfigSnapshot back;
    QVERIFY(LoadSnapshot(back, wf.current(), msg));
    QCOMPARE(back.Accounts, s.Accounts);
    QCOMPARE(back.Numbers, s.Numbers);
    QCOMPARE(back.DeviceReport, s.DeviceReport);

    // Empty number list: an empty file.
    s.Numbers.clear();
    QVERIFY(SaveSnapshot(s, wf.current(), msg));
    QCOMPARE(Bytes(wf.current() + "BLACK.TXT"), QByteArray());
}

void TestConfigSnapshot::saveSubstitutesReport()
{
    TempWorkFolder wf;
    ScriptedMessageService msg;
    ConfigSnapshot s;
    s.DeviceReport = "IXTA-8 v2";
    s.RecorderType = 1; // chosen by the user against the report
    QVERIFY(SaveSnapshot(s, wf.current(), msg));
    QCOMPARE(Bytes(wf.current() + "osreply.txt"), QByteArray("Unknown\r\n"));
    ConfigSnapshot back;
    QVERIFY(LoadSnapshot(back, wf.current(), msg));
    QCOMPARE(back.RecorderType, 1);
    QCOMPARE(back.DeviceReport, QByteArray("Unknown"));

    s.DeviceReport = "SV-300";
    s.RecorderType = 0;
    QVERIFY(SaveSnapshot(s, wf.current(), msg));
    QCOMPARE(Bytes(wf.current() + "osreply.txt"), QByteArray("IXTA\r\n"));
}

void TestConfigSnapshot::saveEmptyReport()
{
    TempWorkFolder wf;
    ScriptedMessageService msg;
    ConfigSnapshot s;
    s.RecorderType = 1;
    QVERIFY(SaveSnapshot(s, wf.current(), msg));
    QCOMPARE(Bytes(wf.current() + "osreply.txt"), QByteArray("\r\n"));
    ConfigSnapshot back;
    back.DeviceReport = "x";
    QVERIFY(LoadSnapshot(back, wf.current(), msg));
    QVERIFY(back.DeviceReport.isEmpty());
}

void TestConfigSnapshot::saveCfgLineEnds_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("three lines: CR only") << QByteArray("a\r\nb\r\nc\r\n") << 1 << QByteArray("a\rb\rc\r");
    QTest::newRow("ten lines: line 4 set") << QByteArray("1\n2\n3\n0\n5\n6\n7\n8\n9\n10\n") << 1
                                           << QByteArray("1\r2\r3\r2\r5\r6\r7\r8\r9\r10\r");
    QTest::newRow("ixta also gets line 4") << QByteArray("1\r2\r3\r0\r5\r0\r0\r8\r") << 0
                                           << QByteArray("1\r2\r3\r2\r5\r0\r0\r8\r");
    QTest::newRow("four lines") << QByteArray("1\r2\r3\r4") << 1 << QByteArray("1\r2\r3\r2\r");
}

void TestConfigSnapshot::saveCfgLineEnds()
{
    QFETCH(QByteArray, before);
    QFETCH(int, type);
    QFETCH(QByteArray, after);
    TempWorkFolder wf;
    QVERIFY(WriteTestFile(wf.current() + "CFG.USR", before));
    ScriptedMessageService msg;
    ConfigSnapshot s;
    s.RecorderType = static_cast<std::uint8_t>(type);
    s.ListMode = 2;
    QVERIFY(SaveSnapshot(s, wf.current(), msg));
    QCOMPARE(Bytes(wf.current() + "CFG.USR"), after);

    // No CFG.USR: none is created.
    TempWorkFolder other;
    QVERIFY(SaveSnapshot(s, other.current(), msg));
    QVERIFY(!QFile::exists(other.current() + "CFG.USR"));
}

void TestConfigSnapshot::saveRefusesUnsafeNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("slash") << QByteArray("../../escape");
    QTest::newRow("plain slash") << QByteArray("a/b");
    QTest::newRow("backslash") << QByteArray("a\\b");
    QTest::newRow("control character") << QByteArray("a\nb");
    QTest::newRow("NUL") << QByteArray("a\0b", 3);
}

void TestConfigSnapshot::saveRefusesUnsafeNames()
{
    QFETCH(QByteArray, name);
    TempWorkFolder wf;
    ScriptedMessageService msg;
    ConfigSnapshot s;
    s.RecorderType = 1;
    s.Accounts = {{"FIRST", "p", "1"}, {name, "p", "2"}, {"LAST", "p", "3"}};
    QVERIFY(!SaveSnapshot(s, wf.current(), msg));
    QCOMPARE(msg.entries.size(), 1);
    QVERIFY2(msg.entries[0].text.startsWith(QStringLiteral("Cannot create file \"") + wf.current() + "USR."),
             qPrintable(msg.entries[0].text));
    // Files before it stay, later ones are not written, nothing lands outside the folder.
    QCOMPARE(FilesIn(wf.current()), (QStringList{"USR.FIRST", "osreply.txt"}));
    QCOMPARE(FilesIn(wf.path()), QStringList{});
    QVERIFY(!QFile::exists(wf.path() + "../escape"));
}

void TestConfigSnapshot::saveFailureStopsAtFile()
{
    // A directory where an account file should go: the save stops with the platform text.
    TempWorkFolder wf;
    QVERIFY(QDir(wf.current()).mkdir("USR.B"));
    ScriptedMessageService msg;
    ConfigSnapshot s;
    s.Accounts = {{"A", "p", "1"}, {"B", "p", "2"}, {"C", "p", "3"}};
    QVERIFY(!SaveSnapshot(s, wf.current(), msg));
    QCOMPARE(msg.Texts(), QStringList{QStringLiteral("Cannot create file \"%1USR.B\". Is a directory").arg(wf.current())});
    QCOMPARE(FilesIn(wf.current()), (QStringList{"USR.A", "osreply.txt"}));
}

void TestConfigSnapshot::clearFolderExceptKept()
{
    TempWorkFolder wf;
    for (const char* f : {"MESS340.6", "MESS340.WAV", "CFG.USR", "mess340.6", "cfg.usr", "USR.X", ".hidden", "a.b.c",
                          "noext"})
        QVERIFY(WriteTestFile(wf.current() + QLatin1String(f), "x"));
    QVERIFY(QDir(wf.current()).mkdir("keepdir"));
    ClearFolderExceptKept(wf.current());
    QCOMPARE(FilesIn(wf.current()), (QStringList{"CFG.USR", "MESS340.6", "MESS340.WAV"}));
    QVERIFY(QDir(wf.current() + "keepdir").exists());
    ClearFolder(wf.current());
    QCOMPARE(FilesIn(wf.current()), QStringList{});
    QVERIFY(QDir(wf.current() + "keepdir").exists());
}

void TestConfigSnapshot::copyFolder()
{
    TempWorkFolder wf;
    QVERIFY(WriteTestFile(wf.get() + "BLACK.TXT", "1\r\n"));
    QVERIFY(WriteTestFile(wf.current() + "MESS340.6", "old message"));
    QVERIFY(WriteTestFile(wf.current() + "CFG.USR", "old cfg"));
    QVERIFY(WriteTestFile(wf.current() + "BLACK.TXT", "old numbers"));
    QVERIFY(CopyFolder(wf.get(), wf.current()));
    QCOMPARE(FilesIn(wf.current()), QStringList{"BLACK.TXT"});
    QCOMPARE(Bytes(wf.current() + "BLACK.TXT"), QByteArray("1\r\n"));
    QCOMPARE(FilesIn(wf.get()), QStringList{"BLACK.TXT"}); // source unchanged
}

void TestConfigSnapshot::copyFolderReportsFailure()
{
    // A directory in the target where a file should land: that file fails, the rest is copied.
    TempWorkFolder wf;
    QVERIFY(WriteTestFile(wf.get() + "A.TXT", "a"));
    QVERIFY(WriteTestFile(wf.get() + "B.TXT", "b"));
    QVERIFY(QDir(wf.current()).mkdir("A.TXT"));
    QStringList failed;
    QVERIFY(!CopyFolder(wf.get(), wf.current(), &failed));
    QCOMPARE(failed, QStringList{"A.TXT"});
    QCOMPARE(FilesIn(wf.current()), QStringList{"B.TXT"});
}

QTEST_APPLESS_MAIN(TestConfigSnapshot)
#include "tst_configsnapshot.moc"
