#include "RecorderRules.h"
#include "TransferRules.h"

#include <QtTest>

class TestTransferRules : public QObject
{
    Q_OBJECT

private slots:
    void namesFromListing_data();
    void namesFromListing();
    void safeNames_data();
    void safeNames();
    void bars();
    void staleAccounts();
    void keySequences();
};

void TestTransferRules::namesFromListing_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QList<QByteArray>>("names");
    using L = QList<QByteArray>;
    QTest::newRow("ls -l lines") << L{"-rw-r--r-- 1 ftp ftp 12 Dec 11 10:00 USR.JOHN",
                                      "-rw-r--r-- 1 ftp ftp 9 Dec 11 10:00 USR.anna"}
                                 << L{"USR.JOHN", "USR.anna"};
    QTest::newRow("no space: nothing") << L{"USR.JOHN"} << L{};
    QTest::newRow("trailing space: nothing") << L{"total 2 "} << L{};
    QTest::newRow("name with a space is cut") << L{"-rw 1 a b 3 Dec 1 10:00 USR.JOHN SMITH"} << L{"SMITH"};
    QTest::newRow("empty line") << L{""} << L{};
    QTest::newRow("USR. alone") << L{"x 1 USR."} << L{"USR."};
}

void TestTransferRules::namesFromListing()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QList<QByteArray>, names);
    QCOMPARE(NamesFromListing(lines), names);
}

void TestTransferRules::safeNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << QByteArray("USR.JOHN") << true;
    QTest::newRow("dots inside") << QByteArray("USR.a.b") << true;
    QTest::newRow("latin-1") << QByteArray("USR.J\xe9r") << true;
    QTest::newRow("dot") << QByteArray(".") << false;
    QTest::newRow("dot dot") << QByteArray("..") << false;
    QTest::newRow("slash") << QByteArray("../x") << false;
    QTest::newRow("absolute") << QByteArray("/etc/passwd") << false;
    QTest::newRow("backslash") << QByteArray("..\\x") << false;
    QTest::newRow("tab") << QByteArray("USR.\tX") << false;
    QTest::newRow("DEL") << QByteArray("USR.\x7f") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestTransferRules::safeNames()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, safe);
    QCOMPARE(IsSafeListedName(name), safe);
}

void TestTransferRules::bars()
{
    QList<int> four, three, save4;
    for (int i = 0; i < 4; ++i)
        four << LoadAccountBar(i, 4);
    for (int i = 0; i < 3; ++i)
        three << LoadAccountBar(i, 3);
    for (int i = 0; i < 4; ++i)
        save4 << SaveAccountBar(i, 4);
    QCOMPARE(four, (QList<int>{40, 50, 60, 70}));
    QCOMPARE(three, (QList<int>{43, 56, 70}));
    QCOMPARE(save4, (QList<int>{37, 45, 52, 60}));
    QCOMPARE(SaveAccountBar(0, 1), 60);
}

void TestTransferRules::staleAccounts()
{
    const QList<tFTPInfo> accounts{{"JOHN", "p", "1"}, {"", "p", "2"}, {"a.b", "p", "3"}};
    const QList<QByteArray> listed{"USR.JOHN", "USR.john", "USR.", "USR.a.b", "USR.GONE", "NODOT"};
    // Case-sensitive; "USR." survives while an account with an empty name exists.
    QCOMPARE(StaleAccountFiles(listed, accounts), (QList<QByteArray>{"USR.john", "USR.GONE", "NODOT"}));
    QCOMPARE(StaleAccountFiles(listed, {{"JOHN", "", ""}}),
             (QList<QByteArray>{"USR.john", "USR.", "USR.a.b", "USR.GONE", "NODOT"}));
    QCOMPARE(UserOfListedName("USR.a.b"), QByteArray("a.b"));
    QCOMPARE(UserOfListedName("NODOT"), QByteArray("NODOT"));
}

void TestTransferRules::keySequences()
{
    QCOMPARE(KeyCommand(KeySequence::FaxNumbersLoaded), QByteArray("[K]804144"));
    QCOMPARE(KeyCommand(KeySequence::NumbersLoaded), QByteArray("[K]824344"));
    QCOMPARE(KeyCommand(KeySequence::PrepareReload), QByteArray("[K]8741410D4344"));
    QCOMPARE(KeyCommand(KeySequence::Reload), QByteArray("[K]42"));
}

QTEST_APPLESS_MAIN(TestTransferRules)
#include "tst_transferrules.moc"
