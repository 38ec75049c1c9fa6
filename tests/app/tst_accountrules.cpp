// The account rules without any window: upper-casing, list order, duplicates, line numbers.
#include "AccountRules.h"
#include "ScriptedMessageService.h"

#include <QtTest>

class TestAccountRules : public QObject
{
    Q_OBJECT

private slots:
    void upperCase_data();
    void upperCase();
    void listOrder_data();
    void listOrder();
    void acceptance_data();
    void acceptance();
    void duplicate_data();
    void duplicate();
    void lineFromNumber_data();
    void lineFromNumber();
    void checkLineNumbers_data();
    void checkLineNumbers();
};

void TestAccountRules::upperCase_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("upper");
    QTest::newRow("ascii") << QByteArray("anna-1_b") << QByteArray("ANNA-1_B");
    QTest::newRow("latin-1 letters") << QByteArray("\xe4\xf6\xfc\xe9") << QByteArray("\xc4\xd6\xdc\xc9");
    // y with diaeresis and micro sign have upper-case forms outside Latin-1; sharp s has none.
    QTest::newRow("no 8-bit upper form") << QByteArray("\xff\xb5\xdf") << QByteArray("\xff\xb5\xdf");
    QTest::newRow("division sign is no letter") << QByteArray("\xf7") << QByteArray("\xf7");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestAccountRules::upperCase()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, upper);
    QCOMPARE(UpperCaseText(text), upper);
}

void TestAccountRules::listOrder_data()
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<int>("sign");
    QTest::newRow("ALAN before Alice") << QByteArray("ALAN") << QByteArray("Alice") << -1;
    QTest::newRow("Alice before bob") << QByteArray("Alice") << QByteArray("bob") << -1;
    QTest::newRow("case only: equal") << QByteArray("bob") << QByteArray("BOB") << 0;
    QTest::newRow("prefix first") << QByteArray("ann") << QByteArray("ANNA") << -1;
    QTest::newRow("digits before letters") << QByteArray("9") << QByteArray("a") << -1;
    // Character codes decide: underscore (0x5F) lies after the upper-case letters.
    QTest::newRow("underscore after letters") << QByteArray("a_") << QByteArray("AZ") << 1;
    QTest::newRow("8-bit after 7-bit") << QByteArray("\xe4") << QByteArray("z") << 1;
}

void TestAccountRules::listOrder()
{
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(int, sign);
    const int r = CompareListTexts(a, b);
    QCOMPARE((r > 0) - (r < 0), sign);
    const int back = CompareListTexts(b, a);
    QCOMPARE((back > 0) - (back < 0), -sign);
}

void TestAccountRules::acceptance_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("lineMode");
    QTest::addColumn<bool>("ok");
    QTest::newRow("all filled") << "A" << "p" << "1" << false << true;
    QTest::newRow("no name") << "" << "p" << "1" << false << false;
    QTest::newRow("no password, number mode") << "A" << "" << "1" << false << false;
    QTest::newRow("no password, line mode") << "A" << "" << "" << true << false;
    QTest::newRow("no number, number mode") << "A" << "p" << "" << false << false;
    QTest::newRow("no number, line mode") << "A" << "p" << "" << true << true;
}

void TestAccountRules::acceptance()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, number);
    QFETCH(bool, lineMode);
    QFETCH(bool, ok);
    QCOMPARE(AccountAcceptable(name, password, number, lineMode), ok);
}

void TestAccountRules::duplicate_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("editing");
    QTest::addColumn<int>("found");
    // Accounts: JOHN (typed), anna (loaded from usr.anna), \xe4BC (8-bit).
    QTest::newRow("john against JOHN") << QByteArray("john") << -1 << 0;
    QTest::newRow("ANNA against loaded anna") << QByteArray("ANNA") << -1 << 1;
    QTest::newRow("editing JOHN keeps JOHN") << QByteArray("JOHN") << 0 << -1;
    QTest::newRow("editing anna into JOHN") << QByteArray("John") << 1 << 0;
    QTest::newRow("8-bit letters ignore case") << QByteArray("\xc4" "bc") << -1 << 2;
    QTest::newRow("new name") << QByteArray("MARY") << -1 << -1;
    QTest::newRow("prefix is no duplicate") << QByteArray("JOH") << -1 << -1;
}

void TestAccountRules::duplicate()
{
    QFETCH(QByteArray, name);
    QFETCH(int, editing);
    QFETCH(int, found);
    const QList<tFTPInfo> accounts{{"JOHN", "x", "1"}, {"anna", "y", "2"}, {"\xe4" "BC", "z", "3"}};
    QCOMPARE(FindDuplicateAccount(accounts, name, editing), found);
    QCOMPARE(DuplicateAccountText(QStringLiteral("john")), QStringLiteral("FTP Username john is already in use."));
}

void TestAccountRules::lineFromNumber_data()
{
    QTest::addColumn<QByteArray>("number");
    QTest::addColumn<int>("line");
    QTest::newRow("line") << QByteArray("7") << 7;
    QTest::newRow("telephone text") << QByteArray("+49 30 1234") << 4;
    QTest::newRow("empty") << QByteArray() << 4;
    QTest::newRow("out of range stays") << QByteArray("12") << 12;
    QTest::newRow("negative") << QByteArray("-1") << -1;
    QTest::newRow("too large for an integer") << QByteArray("99999999999") << 4;
}

void TestAccountRules::lineFromNumber()
{
    QFETCH(QByteArray, number);
    QFETCH(int, line);
    QCOMPARE(LineFromNumber(number), line);
}

void TestAccountRules::checkLineNumbers_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<QByteArray>>("numbers");
    QTest::addColumn<QString>("offender");
    QTest::newRow("other devices pass anything") << 1 << QList<QByteArray>{"+4930", "", "0"} << QString();
    QTest::newRow("ixta, lines 1 and 8") << 0 << QList<QByteArray>{"1", "8"} << QString();
    QTest::newRow("ixta, 0 fails") << 0 << QList<QByteArray>{"3", "0", "9"} << "U1";
    QTest::newRow("ixta, 9 fails") << 0 << QList<QByteArray>{"9", "0"} << "U0";
    QTest::newRow("ixta, telephone number fails") << 0 << QList<QByteArray>{"2", "030 1234"} << "U1";
    QTest::newRow("ixta, empty fails") << 0 << QList<QByteArray>{""} << "U0";
    QTest::newRow("ixta, no accounts") << 0 << QList<QByteArray>{} << QString();
}

void TestAccountRules::checkLineNumbers()
{
    QFETCH(int, type);
    QFETCH(QList<QByteArray>, numbers);
    QFETCH(QString, offender);
    QList<tFTPInfo> accounts;
    for (int i = 0; i < numbers.size(); ++i)
        accounts.append({"U" + QByteArray::number(i), "pw", numbers[i]});
    ScriptedMessageService messages;
    QCOMPARE(::CheckLineNumbers(accounts, std::uint8_t(type), messages), offender.isEmpty());
    if (offender.isEmpty()) {
        QVERIFY(messages.entries.isEmpty());
        return;
    }
    QCOMPARE(messages.entries.size(), 1); // the first offender only
    QCOMPARE(messages.entries[0].kind, ScriptedMessageService::Entry::Message);
    QCOMPARE(messages.entries[0].text,
             "User " + offender +
                 " is assigned an invalid line number.\nLine numbers are between 1 and 8.\n"
                 "If the target device is not an Ixta, change the Recorder type in the groupbox on the left.");
}

QTEST_APPLESS_MAIN(TestAccountRules)
#include "tst_accountrules.moc"
