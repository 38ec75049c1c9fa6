// The connect dialog: controls, tab order, OK rule, focus rule, password echo, prompt results.
#include "UnitConnect.h"

#include "FtpClient.h"
#include "RecorderSim.h"
#include "ScriptedMessageService.h"

#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <functional>

namespace {

// Runs check once the modal dialog is up (it then closes the dialog). Polls without
// blocking, so the event loops of an FTP operation before the prompt run undisturbed.
void WhileShown(TFormConnect& form, std::function<void()> check)
{
    auto* poll = new QTimer(&form);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [&form, poll, check] {
        if (!form.isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        check();
    });
    poll->start();
}

QString LabelOf(TFormConnect& form, QWidget* field)
{
    auto* layout = form.findChild<QFormLayout*>();
    for (int row = 0; row < layout->rowCount(); ++row) {
        QLayoutItem* item = layout->itemAt(row, QFormLayout::FieldRole);
        QWidget* w = item->widget();
        if (!w && item->layout() && item->layout()->count() > 0)
            w = item->layout()->itemAt(0)->widget();
        if (w == field)
            return qobject_cast<QLabel*>(layout->itemAt(row, QFormLayout::LabelRole)->widget())->text();
    }
    return {};
}

} // namespace

class TestUnitConnect : public QObject
{
    Q_OBJECT

private slots:
    void controlsAndTabOrder();
    void okRuleNeverDisables();
    void focusRule_data();
    void focusRule();
    void promptResults();
    void passwordShownAsHash();
    void reloginThroughDialog();
    void screenshot();
};

void TestUnitConnect::controlsAndTabOrder()
{
    RecorderAddress address;
    TFormConnect form(nullptr, address);
    QCOMPARE(form.property("helpContext").toInt(), 11);
    QCOMPARE(LabelOf(form, form.IPAddressEditBox), QStringLiteral("Host name or IP address:"));
    QCOMPARE(LabelOf(form, form.PortEdit), QStringLiteral("FTP Port number:"));
    QCOMPARE(LabelOf(form, form.UsernameEditBox), QStringLiteral("FTP Username:"));
    QCOMPARE(LabelOf(form, form.PasswordEditBox), QStringLiteral("FTP Password:"));
    QCOMPARE(form.OkButton->text(), QStringLiteral("Ok"));
    QCOMPARE(form.CancelButton->text(), QStringLiteral("Cancel"));
    QVERIFY(!form.OkButton->isEnabled());

    const QList<QWidget*> order{form.IPAddressEditBox, form.PortEdit, form.UsernameEditBox,
                                form.PasswordEditBox,  form.OkButton, form.CancelButton};
    QWidget* w = form.IPAddressEditBox;
    for (qsizetype i = 1; i < order.size(); ++i) {
        do {
            w = w->nextInFocusChain();
        } while (w->focusPolicy() == Qt::NoFocus || w->focusProxy() || w->parentWidget() == form.PortEdit);
        QCOMPARE(w, order[i]);
    }
}

void TestUnitConnect::okRuleNeverDisables()
{
    RecorderAddress address; // empty host
    TFormConnect form(nullptr, address);
    form.PreparePrompt(QStringLiteral("Load from Sonvault: Login"));
    QVERIFY(!form.OkButton->isEnabled());
    QTest::keyClicks(form.IPAddressEditBox, "10.0.0.5");
    QTest::keyClicks(form.UsernameEditBox, "ALICE");
    QVERIFY(!form.OkButton->isEnabled());
    form.PortEdit->setValue(2121); // the port takes no part
    QVERIFY(!form.OkButton->isEnabled());
    QTest::keyClicks(form.PasswordEditBox, "pw");
    QVERIFY(form.OkButton->isEnabled());
    form.PasswordEditBox->clear();
    form.IPAddressEditBox->clear();
    QVERIFY(form.OkButton->isEnabled()); // never disabled by the rule
    QCOMPARE(form.PassWord(), QByteArray());

    // The next prompt disables OK, then runs the rule once: user and password are
    // kept, the host comes from the address.
    form.PasswordEditBox->setText(QStringLiteral("pw"));
    address.Address = "RECORDER";
    address.Port = 2100;
    form.PreparePrompt(QStringLiteral("Save to Sonvault: Login"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Save to Sonvault: Login"));
    QCOMPARE(form.Host(), QStringLiteral("RECORDER"));
    QCOMPARE(form.Port(), 2100);
    QCOMPARE(form.UserName(), QByteArray("ALICE"));
    QVERIFY(form.OkButton->isEnabled());
    form.PasswordEditBox->clear();
    form.PreparePrompt(QStringLiteral("again"));
    QVERIFY(!form.OkButton->isEnabled());
}

void TestUnitConnect::focusRule_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no host") << QByteArray() << QStringLiteral("ALICE") << QStringLiteral("IPAddressEditBox");
    QTest::newRow("no user") << QByteArray("HOST") << QString() << QStringLiteral("UsernameEditBox");
    QTest::newRow("both") << QByteArray("HOST") << QStringLiteral("ALICE") << QStringLiteral("PasswordEditBox");
}

void TestUnitConnect::focusRule()
{
    QFETCH(QByteArray, host);
    QFETCH(QString, user);
    QFETCH(QString, expected);
    RecorderAddress address{host, 21};
    TFormConnect form(nullptr, address);
    form.UsernameEditBox->setText(user);
    QString focused;
    WhileShown(form, [&] {
        focused = form.focusWidget() ? form.focusWidget()->objectName() : QString();
        form.reject();
    });
    QVERIFY(!form.PromptConnect(QStringLiteral("Load from Sonvault: Login")));
    QCOMPARE(focused, expected);
}

void TestUnitConnect::promptResults()
{
    RecorderAddress address{"HOST", 21};
    TFormConnect form(nullptr, address);
    form.UsernameEditBox->setText(QStringLiteral("ALICE"));
    form.PasswordEditBox->setText(QStringLiteral("pw"));

    WhileShown(form, [&] { QTest::mouseClick(form.OkButton, Qt::LeftButton); });
    QVERIFY(form.PromptConnect(QStringLiteral("t")));

    WhileShown(form, [&] { QTest::mouseClick(form.CancelButton, Qt::LeftButton); });
    QVERIFY(!form.PromptConnect(QStringLiteral("t")));

    WhileShown(form, [&] { QTest::keyClick(&form, Qt::Key_Escape); });
    QVERIFY(!form.PromptConnect(QStringLiteral("t")));

    // Enter in the password field presses the default button, OK.
    WhileShown(form, [&] { QTest::keyClick(form.PasswordEditBox, Qt::Key_Return); });
    QVERIFY(form.PromptConnect(QStringLiteral("t")));

    // Entering the port field selects its text, so typing replaces the number.
    WhileShown(form, [&] {
        QTest::keyClick(form.PortEdit, Qt::Key_Tab, Qt::ShiftModifier); // leave it, then come back
        form.PortEdit->setFocus(Qt::MouseFocusReason);
        QTest::qWait(20);
        QTest::keyClicks(form.PortEdit, "2121");
        QTest::mouseClick(form.OkButton, Qt::LeftButton);
    });
    QVERIFY(form.PromptConnect(QStringLiteral("t")));
    QCOMPARE(form.Port(), 2121);
}

void TestUnitConnect::passwordShownAsHash()
{
    RecorderAddress address;
    TFormConnect form(nullptr, address);
    form.PasswordEditBox->setText(QStringLiteral("s3cret"));
    QCOMPARE(form.PasswordEditBox->echoMode(), QLineEdit::Password);
    QCOMPARE(form.PasswordEditBox->displayText(), QStringLiteral("######"));
    QCOMPARE(form.PassWord(), QByteArray("s3cret"));
}

// The dialog as the prompt of ConnectLogin: a wrong password, the re-prompt with the
// operation's title and the typed values kept, an empty password tried, then the right one.
void TestUnitConnect::reloginThroughDialog()
{
    RecorderSim sim;
    sim.AddAccount("ALICE", "secret");
    QVERIFY2(sim.Start(), qPrintable(sim.Error));
    RecorderAddress address{"127.0.0.1", sim.Port()};
    TFormConnect form(nullptr, address);
    TFtpClient ftp;
    ScriptedMessageService messages;
    NullProgressSink progress;
    LinkParts link{ftp, form, messages, progress, address};

    WhileShown(form, [&] {
        QTest::keyClicks(form.UsernameEditBox, "ALICE");
        QTest::keyClicks(form.PasswordEditBox, "wrong");
        QTest::mouseClick(form.OkButton, Qt::LeftButton);
    });
    QVERIFY(form.PromptConnect(LoadLoginTitle()));

    QStringList titles;
    QStringList users;
    QList<bool> okEnabled;
    // First re-prompt: clear the password; OK stays enabled and is pressed.
    WhileShown(form, [&] {
        titles << form.windowTitle();
        users << form.UsernameEditBox->text();
        okEnabled << form.OkButton->isEnabled();
        form.PasswordEditBox->clear();
        okEnabled << form.OkButton->isEnabled();
        QTest::mouseClick(form.OkButton, Qt::LeftButton);
        // Second re-prompt: type the right password.
        WhileShown(form, [&] {
            titles << form.windowTitle();
            users << form.UsernameEditBox->text();
            okEnabled << form.OkButton->isEnabled();
            QTest::keyClicks(form.PasswordEditBox, "secret");
            QTest::mouseClick(form.OkButton, Qt::LeftButton);
        });
    });
    QVERIFY(ConnectLogin(link, LoadLoginTitle()));
    QCOMPARE(ftp.StatusCode(), 230);
    QCOMPARE(titles, (QStringList{"Load from Sonvault: Login", "Load from Sonvault: Login"}));
    QCOMPARE(users, (QStringList{"ALICE", "ALICE"}));
    QCOMPARE(okEnabled, (QList<bool>{true, true, false}));
    QCOMPARE(messages.Texts(), (QStringList{"Username and/or password wrong", "Username and/or password wrong"}));
    QCOMPARE(sim.Commands(),
             (QList<QByteArray>{"USER ALICE", "PASS wrong", "USER ALICE", "PASS ", "USER ALICE", "PASS secret"}));
    QVERIFY(ftp.Quit());
}

void TestUnitConnect::screenshot()
{
    const QString folder = qEnvironmentVariable("PELLARO_SCREENSHOTS");
    if (folder.isEmpty())
        QSKIP("set PELLARO_SCREENSHOTS to a folder to keep a picture of the dialog");
    RecorderAddress address{"192.168.1.20", 21};
    TFormConnect form(nullptr, address);
    form.UsernameEditBox->setText(QStringLiteral("ALICE"));
    form.PasswordEditBox->setText(QStringLiteral("secret"));
    form.PreparePrompt(QStringLiteral("Load from Sonvault: Login"));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(form.grab().save(folder + QStringLiteral("/connect-dialog.png")));
}

QTEST_MAIN(TestUnitConnect)
#include "tst_unitconnect.moc"
