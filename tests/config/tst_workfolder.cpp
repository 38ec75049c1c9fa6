#include "TestFolders.h"
#include "WorkFolder.h"

#include <QtTest>

class TestWorkFolder : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void resolvesUnderXdgDataHome();
    void defaultsToLocalShare();
    void relativeXdgIsIgnored();
    void creationFailureThrows();
    void subfolders();
    void settingsDefaults();
    void settingsRoundTripKeepsOtherLines();
    void settingsUnreadableValues();
    void placement_data();
    void placement();
    void addressArgument_data();
    void addressArgument();

private:
    QByteArray m_xdg, m_home;
};

void TestWorkFolder::init()
{
    m_xdg = qgetenv("XDG_DATA_HOME");
    m_home = qgetenv("HOME");
}

void TestWorkFolder::cleanup()
{
    qputenv("XDG_DATA_HOME", m_xdg);
    qputenv("HOME", m_home);
}

void TestWorkFolder::resolvesUnderXdgDataHome()
{
    QTemporaryDir tmp;
    const QString xdg = tmp.path() + "/deep/data/";
    qputenv("XDG_DATA_HOME", QFile::encodeName(xdg));
    const QString wf = ResolveWorkFolder();
    QCOMPARE(wf, tmp.path() + "/deep/data/Marbeck/Pellaro/");
    QVERIFY(QDir(wf).exists());
    QCOMPARE(ResolveWorkFolder(), wf); // second time: already there
}

void TestWorkFolder::defaultsToLocalShare()
{
    QTemporaryDir tmp;
    qunsetenv("XDG_DATA_HOME");
    qputenv("HOME", QFile::encodeName(tmp.path()));
    QCOMPARE(ResolveWorkFolder(), tmp.path() + "/.local/share/Marbeck/Pellaro/");
    QVERIFY(QDir(tmp.path() + "/.local/share/Marbeck/Pellaro").exists());
}

void TestWorkFolder::relativeXdgIsIgnored()
{
    QTemporaryDir tmp;
    qputenv("XDG_DATA_HOME", "relative/path");
    qputenv("HOME", QFile::encodeName(tmp.path()));
    QCOMPARE(ResolveWorkFolder(), tmp.path() + "/.local/share/Marbeck/Pellaro/");
}

void TestWorkFolder::creationFailureThrows()
{
    // A plain file where the "Marbeck" folder should be.
    QTemporaryDir tmp;
    QVERIFY(WriteTestFile(tmp.path() + "/Marbeck", "not a folder"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(tmp.path()));
    try {
        ResolveWorkFolder();
        QFAIL("no exception");
    } catch (const WorkFolderError& e) {
        QCOMPARE(QString::fromLocal8Bit(e.what()),
                 QStringLiteral("Cannot create settings directory ") + tmp.path() + "/Marbeck/Pellaro");
    }
}

void TestWorkFolder::subfolders()
{
    QTemporaryDir tmp;
    const QString wf = tmp.path() + "/";
    EnsureSubfolders(wf);
    QVERIFY(QDir(CurrentFolderOf(wf)).exists());
    QVERIFY(QDir(GetFolderOf(wf)).exists());
    QVERIFY(WriteTestFile(CurrentFolderOf(wf) + "keep", "x"));
    EnsureSubfolders(wf); // existing folders and their files stay
    QCOMPARE(FilesIn(CurrentFolderOf(wf)), QStringList{"keep"});
    QCOMPARE(SettingsFileOf(wf), wf + "pellaro.ini");
}

void TestWorkFolder::settingsDefaults()
{
    QTemporaryDir tmp;
    const Settings s = ReadSettings(tmp.path() + "/missing.ini");
    QCOMPARE(s.PosX, -1);
    QCOMPARE(s.PosY, -1);
    QCOMPARE(s.Width, -1);
    QCOMPARE(s.Height, -1);
    QCOMPARE(s.Address, QByteArray());
    QCOMPARE(s.Port, 21);
    QCOMPARE(s.SortColumn, 0);
}

void TestWorkFolder::settingsRoundTripKeepsOtherLines()
{
    QTemporaryDir tmp;
    const QString path = tmp.path() + "/pellaro.ini";
    QVERIFY(WriteTestFile(path, "[Other]\nmine=kept\n[position]\nposx=1\n"));
    Settings s;
    s.PosX = 10;
    s.PosY = 20;
    s.Width = 600;
    s.Height = 500;
    s.Address = "192.168.1.50";
    s.Port = 2121;
    s.SortColumn = 1;
    QString error;
    QVERIFY2(WriteSettings(path, s, &error), qPrintable(error));
    const Settings r = ReadSettings(path);
    QCOMPARE(r.PosX, 10);
    QCOMPARE(r.PosY, 20);
    QCOMPARE(r.Width, 600);
    QCOMPARE(r.Height, 500);
    QCOMPARE(r.Address, QByteArray("192.168.1.50"));
    QCOMPARE(r.Port, 2121);
    QCOMPARE(r.SortColumn, 1);
    const QByteArray text = ReadTestFile(path);
    QVERIFY(text.startsWith("[Other]\nmine=kept\n[position]\nPosX=10\n"));
    for (const char* key : {"PosY=20", "Width=600", "Height=500", "[Sonvault]", "Address=192.168.1.50", "Port=2121",
                            "[Visual]", "SortColumn=1"})
        QVERIFY2(text.contains(key), key);
}

void TestWorkFolder::settingsUnreadableValues()
{
    QTemporaryDir tmp;
    const QString path = tmp.path() + "/pellaro.ini";
    QVERIFY(WriteTestFile(path, "[Position]\nPosX=left\nWidth=$200\n[Sonvault]\nPort=0x15\n[Visual]\nSortColumn=\n"));
    const Settings s = ReadSettings(path);
    QCOMPARE(s.PosX, -1);
    QCOMPARE(s.Width, 512);
    QCOMPARE(s.Port, 21);
    QCOMPARE(s.SortColumn, 0);
}

void TestWorkFolder::placement_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<bool>("honoured");
    QTest::newRow("defaults") << -1 << -1 << -1 << -1 << false;
    QTest::newRow("width 290") << 0 << 0 << 290 << 400 << false;
    QTest::newRow("height 300") << 0 << 0 << 400 << 300 << false;
    QTest::newRow("negative x") << -1 << 0 << 400 << 400 << false;
    QTest::newRow("negative y") << 0 << -5 << 400 << 400 << false;
    QTest::newRow("smallest honoured") << 0 << 0 << 291 << 301 << true;
    QTest::newRow("usual") << 100 << 80 << 555 << 500 << true;
}

void TestWorkFolder::placement()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(bool, honoured);
    QCOMPARE(PlacementHonoured(x, y, w, h), honoured);
}

void TestWorkFolder::addressArgument_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("address");
    QTest::newRow("none: stored") << QStringList{"-x"} << QByteArray("rec.local") << QByteArray("rec.local");
    QTest::newRow("argument wins, upper-cased")
        << QStringList{"address=rec1.lan"} << QByteArray("stored") << QByteArray("REC1.LAN");
    QTest::newRow("mixed case prefix") << QStringList{"AdDrEsS=10.0.0.1"} << QByteArray() << QByteArray("10.0.0.1");
    QTest::newRow("last one wins") << QStringList{"ADDRESS=a", "ADDRESS=b"} << QByteArray() << QByteArray("B");
    QTest::newRow("empty argument keeps stored") << QStringList{"ADDRESS="} << QByteArray("s") << QByteArray("s");
    QTest::newRow("not a prefix") << QStringList{"XADDRESS=a"} << QByteArray("s") << QByteArray("s");
    // The copier restarts the program with "-u"; it is ignored and does not hide an address.
    QTest::newRow("-u from the copier ignored")
        << QStringList{"-u", "ADDRESS=rec2.lan"} << QByteArray("s") << QByteArray("REC2.LAN");
}

void TestWorkFolder::addressArgument()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, address);
    QCOMPARE(CombineAddress(AddressFromArguments(args), stored), address);
}

QTEST_APPLESS_MAIN(TestWorkFolder)
#include "tst_workfolder.moc"
