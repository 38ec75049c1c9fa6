#include "ListMode.h"

#include <QtTest>

namespace {

// Eight or more lines of a settings file, with chosen values on lines 4, 6 and 7.
LineList Cfg(int count, const QByteArray& l4 = "0", const QByteArray& l6 = "0", const QByteArray& l7 = "0")
{
    LineList lines;
    for (int i = 1; i <= count; ++i)
        lines.append("v" + QByteArray::number(i));
    if (count >= 4)
        lines[3] = l4;
    if (count >= 6)
        lines[5] = l6;
    if (count >= 7)
        lines[6] = l7;
    return lines;
}

} // namespace

class TestListMode : public QObject
{
    Q_OBJECT

private slots:
    void readListMode_data();
    void readListMode();
    void patchListMode_data();
    void patchListMode();
    void patchThenReadRoundTrip();
};

void TestListMode::readListMode_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("mode");
    QTest::newRow("seven lines, other") << Cfg(7, "2") << 1 << -1;
    QTest::newRow("seven lines, ixta") << Cfg(7, "0", "1", "1") << 0 << -1;
    QTest::newRow("empty") << LineList{} << 1 << -1;
    QTest::newRow("other: 2 in line 4") << Cfg(8, "2") << 1 << 2;
    QTest::newRow("other: 0 in line 4") << Cfg(8, "0") << 1 << 0;
    QTest::newRow("other: letter in line 4") << Cfg(8, "a") << 1 << -1;
    QTest::newRow("other: empty line 4") << Cfg(8, "") << 1 << -1;
    QTest::newRow("other: 7 returned as read") << Cfg(8, "7") << 1 << 7;
    QTest::newRow("other: 1x is not a number") << Cfg(8, "1x") << 1 << -1;
    QTest::newRow("ixta: 0 0") << Cfg(8, "9", "0", "0") << 0 << 0;
    QTest::newRow("ixta: 1 0") << Cfg(8, "9", "1", "0") << 0 << 1;
    QTest::newRow("ixta: 1 1") << Cfg(8, "9", "1", "1") << 0 << 2;
    QTest::newRow("ixta: 0 1 is no list") << Cfg(8, "9", "0", "1") << 0 << 0;
    QTest::newRow("ixta: 0 letter") << Cfg(8, "9", "0", "b") << 0 << -1;
    QTest::newRow("ixta: letter 0") << Cfg(8, "9", "x", "0") << 0 << -1;
    QTest::newRow("ixta: line 4 not looked at") << Cfg(8, "zz", "1", "0") << 0 << 1;
}

void TestListMode::readListMode()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(int, type);
    QFETCH(int, mode);
    QCOMPARE(ReadListMode(lines, static_cast<std::uint8_t>(type)), mode);
}

void TestListMode::patchListMode_data()
{
    QTest::addColumn<QList<QByteArray>>("before");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<QByteArray>>("after");
    QTest::newRow("other, 2, ten lines: only line 4") << Cfg(10, "0", "5", "6") << 1 << 2 << Cfg(10, "2", "5", "6");
    QTest::newRow("ixta, 0") << Cfg(8, "4", "1", "1") << 0 << 0 << Cfg(8, "4", "0", "0");
    QTest::newRow("ixta, 1") << Cfg(8, "4", "0", "0") << 0 << 1 << Cfg(8, "4", "1", "0");
    QTest::newRow("ixta, 2") << Cfg(9, "4", "0", "0") << 0 << 2 << Cfg(9, "4", "1", "1");
    QTest::newRow("seven lines: nothing") << Cfg(7, "4", "1", "1") << 1 << 2 << Cfg(7, "4", "1", "1");
    QTest::newRow("seven lines, ixta: nothing") << Cfg(7, "4", "1", "1") << 0 << 0 << Cfg(7, "4", "1", "1");
}

void TestListMode::patchListMode()
{
    QFETCH(QList<QByteArray>, before);
    QFETCH(int, type);
    QFETCH(int, mode);
    QFETCH(QList<QByteArray>, after);
    PatchListMode(before, static_cast<std::uint8_t>(type), mode);
    QCOMPARE(before, after);
}

void TestListMode::patchThenReadRoundTrip()
{
    for (int type = 0; type <= 1; ++type) {
        for (int count : {8, 12}) {
            for (int mode = 0; mode <= 2; ++mode) {
                LineList lines = Cfg(count, "x", "y", "z");
                PatchListMode(lines, static_cast<std::uint8_t>(type), mode);
                QCOMPARE(ReadListMode(lines, static_cast<std::uint8_t>(type)), mode);
            }
        }
    }
}

QTEST_APPLESS_MAIN(TestListMode)
#include "tst_listmode.moc"
