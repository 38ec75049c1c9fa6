#include "IniFile.h"
#include "TestFolders.h"

#include <QtTest>

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void caseInsensitiveLookup();
    void integers_data();
    void integers();
    void longValuesAreCut();
    void quotesAndSpaces();
    void writeKeepsOtherLines_data();
    void writeKeepsOtherLines();
    void writeToMissingFileCreatesIt();
    void writeFailureIsReported();
    void sectionsAndKeysInOrder();
};

void TestIniFile::caseInsensitiveLookup()
{
    IniFile ini(QString(), false);
    ini.SetContent("[Position]\r\nPosX=10\r\n[sonVAULT]\r\naddress=rec.example\r\n");
    QCOMPARE(ini.ReadInteger("position", "POSX", -1), 10);
    QCOMPARE(ini.ReadString("SONVAULT", "Address", "none"), QByteArray("rec.example"));
    QCOMPARE(ini.ReadString("Sonvault", "Port", "21"), QByteArray("21"));
    QCOMPARE(ini.ReadString("Missing", "Address", "dflt"), QByteArray("dflt"));
    QVERIFY(ini.SectionExists("POSITION"));
    QVERIFY(ini.ValueExists("position", "posx"));
    QVERIFY(!ini.ValueExists("position", "posy"));
}

void TestIniFile::integers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("decimal") << QByteArray("42") << 42;
    QTest::newRow("negative") << QByteArray("-17") << -17;
    QTest::newRow("plus sign") << QByteArray("+5") << 5;
    QTest::newRow("0x hex") << QByteArray("0x1F") << 31;
    QTest::newRow("0X hex") << QByteArray("0X1f") << 31;
    QTest::newRow("dollar hex") << QByteArray("$ff") << 255;
    QTest::newRow("hex all bits") << QByteArray("$FFFFFFFF") << -1;
    QTest::newRow("max int") << QByteArray("2147483647") << 2147483647;
    QTest::newRow("min int") << QByteArray("-2147483648") << -2147483647 - 1;
    QTest::newRow("overflow") << QByteArray("2147483648") << -99;
    QTest::newRow("hex overflow") << QByteArray("0x100000000") << -99;
    QTest::newRow("letters") << QByteArray("abc") << -99;
    QTest::newRow("trailing junk") << QByteArray("12px") << -99;
    QTest::newRow("empty") << QByteArray("") << -99;
    QTest::newRow("bare 0x") << QByteArray("0x") << -99;
    QTest::newRow("bare dollar") << QByteArray("$") << -99;
    QTest::newRow("decimal with hex digit") << QByteArray("1f") << -99;
    QTest::newRow("spaces around") << QByteArray("  7  ") << 7;
}

void TestIniFile::integers()
{
    QFETCH(QByteArray, text);
    QFETCH(int, value);
    IniFile ini(QString(), false);
    ini.SetContent("[S]\nK=" + text + "\n");
    QCOMPARE(ini.ReadInteger("S", "K", -99), value);
}

void TestIniFile::longValuesAreCut()
{
    const QByteArray longValue(5000, 'v');
    IniFile ini(QString(), false);
    ini.SetContent("[S]\nK=" + longValue + "\n");
    QCOMPARE(ini.ReadString("S", "K", "").size(), 2047);
    QCOMPARE(ini.ReadString("S", "K", ""), longValue.left(2047));
    const QByteArray exact(2047, 'e');
    ini.SetContent("[S]\nK=" + exact + "\n");
    QCOMPARE(ini.ReadString("S", "K", ""), exact);
}

void TestIniFile::quotesAndSpaces()
{
    IniFile ini(QString(), false);
    ini.SetContent("; comment\n[ S ]\n  Key  =  spaced value  \nQ=\"quoted \"\nH='x'\nOdd=\"open\nEmpty=\n");
    QCOMPARE(ini.ReadString("S", "Key", ""), QByteArray("spaced value"));
    QCOMPARE(ini.ReadString("S", "Q", ""), QByteArray("quoted "));
    QCOMPARE(ini.ReadString("S", "H", ""), QByteArray("x"));
    QCOMPARE(ini.ReadString("S", "Odd", ""), QByteArray("\"open"));
    QCOMPARE(ini.ReadString("S", "Empty", "d"), QByteArray(""));
    QCOMPARE(ini.ReadInteger("S", "Empty", 3), 3);
}

void TestIniFile::writeKeepsOtherLines_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("replace existing key, CR LF kept")
        << QByteArray("; mine\r\n[A]\r\nx=1\r\nY = 2 \r\n\r\n[B]\r\nz=3\r\n") << QByteArray("a") << QByteArray("y")
        << QByteArray("; mine\r\n[A]\r\nx=1\r\ny=new\r\n\r\n[B]\r\nz=3\r\n");
    QTest::newRow("new key after last line of section")
        << QByteArray("[A]\nx=1\n\n[B]\nz=3\n") << QByteArray("A") << QByteArray("k")
        << QByteArray("[A]\nx=1\nk=new\n\n[B]\nz=3\n");
    QTest::newRow("new section at the end")
        << QByteArray("[A]\nx=1\n") << QByteArray("C") << QByteArray("k") << QByteArray("[A]\nx=1\n[C]\nk=new\n");
    QTest::newRow("no final line end stays so")
        << QByteArray("[A]\nk=old") << QByteArray("A") << QByteArray("K") << QByteArray("[A]\nK=new");
    QTest::newRow("unknown lines untouched")
        << QByteArray("garbage line\n[A]\nnot a pair\nk=1\n# other\n") << QByteArray("A") << QByteArray("k")
        << QByteArray("garbage line\n[A]\nnot a pair\nk=new\n# other\n");
}

void TestIniFile::writeKeepsOtherLines()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, after);
    TempWorkFolder wf;
    const QString path = wf.path() + "t.ini";
    QVERIFY(WriteTestFile(path, before));
    IniFile ini(path);
    QVERIFY(ini.WriteString(section, key, "new"));
    QCOMPARE(ReadTestFile(path), after);
    QCOMPARE(IniFile(path).ReadString(section, key, ""), QByteArray("new"));
}

void TestIniFile::writeToMissingFileCreatesIt()
{
    TempWorkFolder wf;
    const QString path = wf.path() + "new.ini";
    IniFile ini(path);
    QVERIFY(ini.WriteInteger("Visual", "SortColumn", 1));
    QVERIFY(ini.WriteInteger("Position", "PosX", -5));
    QCOMPARE(ReadTestFile(path), QByteArray("[Visual]\nSortColumn=1\n[Position]\nPosX=-5\n"));
}

void TestIniFile::writeFailureIsReported()
{
    TempWorkFolder wf;
    const QString path = wf.current().chopped(1); // a directory
    IniFile ini(path);
    QVERIFY(!ini.WriteString("A", "k", "v"));
    QVERIFY(ini.ErrorText().startsWith(QStringLiteral("Cannot create file \"")));
}

void TestIniFile::sectionsAndKeysInOrder()
{
    IniFile ini(QString(), false);
    ini.SetContent("[One]\nb=1\na=2\n[Two]\n[one]\nc=3\n");
    QCOMPARE(ini.ReadSections(), (QList<QByteArray>{"One", "Two", "one"}));
    QCOMPARE(ini.ReadSection("ONE"), (QList<QByteArray>{"b", "a"})); // the first section of that name
    QCOMPARE(ini.ReadSection("two"), QList<QByteArray>{});
}

QTEST_APPLESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
