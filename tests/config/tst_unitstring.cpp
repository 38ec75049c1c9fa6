#include "TestFolders.h"
#include "Unitstring.h"

#include <QtTest>

class TestUnitstring : public QObject
{
    Q_OBJECT

private slots:
    void loadLines_data();
    void loadLines();
    void loadLinesAppends();
    void loadLinesOpenFailure();
    void saveLines_data();
    void saveLines();
    void saveLinesCreateFailure();
    void allByteValuesRoundTrip();
};

void TestUnitstring::loadLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QByteArray>>("lines");
    using L = QList<QByteArray>;
    QTest::newRow("empty file") << QByteArray() << L{};
    QTest::newRow("lone CR") << QByteArray("a\rb") << L{"a", "b"};
    QTest::newRow("lone LF") << QByteArray("a\nb") << L{"a", "b"};
    QTest::newRow("CR LF") << QByteArray("a\r\nb") << L{"a", "b"};
    QTest::newRow("LF CR") << QByteArray("a\n\rb") << L{"a", "b"};
    QTest::newRow("CR CR keeps empty") << QByteArray("a\r\rb") << L{"a", "", "b"};
    QTest::newRow("LF LF keeps empty") << QByteArray("a\n\nb") << L{"a", "", "b"};
    QTest::newRow("CR then LF mixed") << QByteArray("a\rb\nc") << L{"a", "b", "c"};
    QTest::newRow("CR LF CR LF") << QByteArray("a\r\n\r\nb") << L{"a", "", "b"};
    QTest::newRow("CR LF CR: pair then new end") << QByteArray("a\r\n\rb") << L{"a", "", "b"};
    QTest::newRow("final CR LF adds nothing") << QByteArray("a\r\nb\r\n") << L{"a", "b"};
    QTest::newRow("final CR adds nothing") << QByteArray("a\r") << L{"a"};
    QTest::newRow("only line ends") << QByteArray("\r\n\r\n") << L{"", ""};
    QTest::newRow("leading line end") << QByteArray("\nx") << L{"", "x"};
    QTest::newRow("spaces kept") << QByteArray("  \r\n x ") << L{"  ", " x "};
    QTest::newRow("NUL and high bytes") << QByteArray("a\0b\xff\r\xe9", 6) << L{QByteArray("a\0b\xff", 4), "\xe9"};
}

void TestUnitstring::loadLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QByteArray>, lines);
    TempWorkFolder wf;
    const QString path = wf.path() + QStringLiteral("f.txt");
    QVERIFY(WriteTestFile(path, bytes));
    LineList got;
    QString error;
    QVERIFY(LoadLines(got, path, &error));
    QCOMPARE(got, lines);
    QVERIFY(error.isEmpty());
}

void TestUnitstring::loadLinesAppends()
{
    TempWorkFolder wf;
    const QString path = wf.path() + QStringLiteral("f.txt");
    QVERIFY(WriteTestFile(path, "b\r\nc"));
    LineList got{"a"};
    QVERIFY(LoadLines(got, path));
    QCOMPARE(got, (LineList{"a", "b", "c"}));
}

void TestUnitstring::loadLinesOpenFailure()
{
    TempWorkFolder wf;
    // Missing file and a directory in place of the file: both fail with the path and the reason.
    const QString missing = wf.path() + QStringLiteral("missing.txt");
    LineList got{"kept"};
    QString error;
    QVERIFY(!LoadLines(got, missing, &error));
    QCOMPARE(error, QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(missing));
    QCOMPARE(got, LineList{"kept"});

    const QString dir = wf.current().chopped(1);
    QVERIFY(!LoadLines(got, dir, &error));
    QCOMPARE(error, QStringLiteral("Cannot open file \"%1\". Is a directory").arg(dir));
    QCOMPARE(got, LineList{"kept"});
}

void TestUnitstring::saveLines_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<QByteArray>("bytes");
    using L = QList<QByteArray>;
    QTest::newRow("x y with CR") << L{"x", "y"} << QByteArray("\r") << QByteArray("x\ry\r");
    QTest::newRow("x y with CR LF") << L{"x", "y"} << QByteArray("\r\n") << QByteArray("x\r\ny\r\n");
    QTest::newRow("empty list") << L{} << QByteArray("\r\n") << QByteArray();
    QTest::newRow("one empty line") << L{""} << QByteArray("\r\n") << QByteArray("\r\n");
    QTest::newRow("empty separator") << L{"a", "b"} << QByteArray() << QByteArray("ab");
}

void TestUnitstring::saveLines()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QByteArray, separator);
    QFETCH(QByteArray, bytes);
    TempWorkFolder wf;
    const QString path = wf.path() + QStringLiteral("out.txt");
    QVERIFY(WriteTestFile(path, "previous content that is longer"));
    QVERIFY(SaveLines(lines, path, separator));
    QCOMPARE(ReadTestFile(path), bytes);
}

void TestUnitstring::saveLinesCreateFailure()
{
    TempWorkFolder wf;
    const QString path = wf.path() + QStringLiteral("no/such/folder/out.txt");
    QString error;
    QVERIFY(!SaveLines({"x"}, path, "\r", &error));
    QCOMPARE(error, QStringLiteral("Cannot create file \"%1\". No such file or directory").arg(path));
    QVERIFY(!SaveLines({"x"}, wf.current().chopped(1), "\r", &error));
    QVERIFY(error.startsWith(QStringLiteral("Cannot create file \"")));
    QVERIFY(error.endsWith(QStringLiteral("Is a directory")));
}

void TestUnitstring::allByteValuesRoundTrip()
{
    // Every byte but the line-end bytes survives a save and a load unchanged.
    QByteArray line;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            line.append(static_cast<char>(b));
    }
    TempWorkFolder wf;
    const QString path = wf.path() + QStringLiteral("bytes.txt");
    QVERIFY(SaveLines({line, line}, path, "\r\n"));
    LineList got;
    QVERIFY(LoadLines(got, path));
    QCOMPARE(got, (LineList{line, line}));
}

QTEST_APPLESS_MAIN(TestUnitstring)
#include "tst_unitstring.moc"
