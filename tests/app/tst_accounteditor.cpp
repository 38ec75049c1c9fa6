// The account editor dialog, driven through its real widgets.
#include "ScriptedMessageService.h"
#include "UnitUserID.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QtTest>

class TestAccountEditor : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void modes_data();
    void modes();
    void typedSpacesAreDiscarded();
    void pastedSpaces_data();
    void pastedSpaces();
    void acceptance_data();
    void acceptance();
    void duplicateRefused_data();
    void duplicateRefused();
    void prepareEditShowsAccount_data();
    void prepareEditShowsAccount();
    void escapeCancels();
    void nextUseStartsEmpty();
    void passwordShownAsHash();
    void onlyLatin1Accepted();

private:
    ScriptedMessageService* m_messages = nullptr;
    TFormFTPAccount* m_dlg = nullptr;
    QList<tFTPInfo> m_accounts;
};

void TestAccountEditor::init()
{
    m_messages = new ScriptedMessageService;
    m_dlg = new TFormFTPAccount(*m_messages);
    m_accounts = {{"JOHN", "secret", "3"}, {"anna", "pw", "+49 30 123"}, {"MIKE", "m", "not a line"}};
}

void TestAccountEditor::cleanup()
{
    delete m_dlg;
    delete m_messages;
}

void TestAccountEditor::modes_data()
{
    QTest::addColumn<bool>("lineMode");
    QTest::addColumn<QString>("label");
    QTest::newRow("Ixta: line") << true << "Line :";
    QTest::newRow("other devices: telephone number") << false << "Telephone number :";
}

void TestAccountEditor::modes()
{
    QFETCH(bool, lineMode);
    QFETCH(QString, label);
    m_dlg->PrepareEditor(&m_accounts, lineMode);
    m_dlg->PrepareNew();
    QCOMPARE(m_dlg->windowTitle(), QStringLiteral("New FTP User"));
    QCOMPARE(m_dlg->LMDSimpleLabel2->text(), label);
    QCOMPARE(m_dlg->SpinEditLine->isHidden(), !lineMode);
    QCOMPARE(m_dlg->EditNumber->isHidden(), lineMode);
    QCOMPARE(m_dlg->SpinEditLine->value(), 4);
    QCOMPARE(m_dlg->SpinEditLine->minimum(), 1);
    QCOMPARE(m_dlg->SpinEditLine->maximum(), 8);
    QVERIFY(!m_dlg->ButtonOK->isEnabled());
    QCOMPARE(m_dlg->EditingIndex(), -1);
    QCOMPARE(m_dlg->LabelUser->text(), QStringLiteral("FTP Username :"));
    QCOMPARE(m_dlg->LMDSimpleLabel1->text(), QStringLiteral("FTP Password :"));
    QCOMPARE(m_dlg->ButtonOK->text(), QStringLiteral("&Ok"));
    QCOMPARE(m_dlg->ButtonCancel->text(), QStringLiteral("&Cancel"));
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
    QCOMPARE(m_dlg->size(), QSize(340, 210));
    QCOMPARE(QApplication::focusWidget(), m_dlg->EditUsername);
}

void TestAccountEditor::typedSpacesAreDiscarded()
{
    m_dlg->PrepareEditor(&m_accounts, false);
    m_dlg->PrepareNew();
    QTest::keyClicks(m_dlg->EditUsername, QStringLiteral("jo hn"));
    QTest::keyClicks(m_dlg->EditPassword, QStringLiteral(" p w "));
    QTest::keyClicks(m_dlg->EditNumber, QStringLiteral("030 123"));
    QCOMPARE(m_dlg->EditUsername->text(), QStringLiteral("john"));
    QCOMPARE(m_dlg->EditPassword->text(), QStringLiteral("pw"));
    QCOMPARE(m_dlg->EditNumber->text(), QStringLiteral("030123"));
    QVERIFY(m_dlg->ButtonOK->isEnabled());
}

void TestAccountEditor::pastedSpaces_data()
{
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::newRow("one space") << "jo hn" << "john" << "jo hn";
    QTest::newRow("only spaces") << "   " << "" << "   ";
    QTest::newRow("leading and trailing") << " a b " << "ab" << " a b ";
}

void TestAccountEditor::pastedSpaces()
{
    QFETCH(QString, pasted);
    QFETCH(QString, user);
    QFETCH(QString, password);
    m_dlg->PrepareEditor(&m_accounts, true);
    m_dlg->PrepareNew();
    QApplication::clipboard()->setText(pasted);
    if (QApplication::clipboard()->text() != pasted)
        QSKIP("no clipboard on this platform");
    // Pasting into the user name removes the spaces; the password keeps them.
    QTest::keyClick(m_dlg->EditUsername, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(m_dlg->EditPassword, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(m_dlg->EditUsername->text(), user);
    QCOMPARE(m_dlg->EditPassword->text(), password);
    QCOMPARE(m_dlg->UserNameText(), user.toLatin1());
    QCOMPARE(m_dlg->ButtonOK->isEnabled(), !user.isEmpty());
}

void TestAccountEditor::acceptance_data()
{
    QTest::addColumn<bool>("lineMode");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("line mode, name and password") << true << "a" << "p" << "" << true;
    QTest::newRow("line mode, no password") << true << "a" << "" << "" << false;
    QTest::newRow("number mode, all three") << false << "a" << "p" << "1" << true;
    QTest::newRow("number mode, no number") << false << "a" << "p" << "" << false;
    QTest::newRow("number mode, no password") << false << "a" << "" << "1" << false;
    QTest::newRow("no name") << false << "" << "p" << "1" << false;
}

void TestAccountEditor::acceptance()
{
    QFETCH(bool, lineMode);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, number);
    QFETCH(bool, enabled);
    m_dlg->PrepareEditor(&m_accounts, lineMode);
    m_dlg->PrepareNew();
    QTest::keyClicks(m_dlg->EditUsername, user);
    QTest::keyClicks(m_dlg->EditPassword, password);
    if (!lineMode)
        QTest::keyClicks(m_dlg->EditNumber, number);
    QCOMPARE(m_dlg->ButtonOK->isEnabled(), enabled);
    if (lineMode) {
        // The spin value never blocks.
        m_dlg->SpinEditLine->setValue(1);
        QCOMPARE(m_dlg->ButtonOK->isEnabled(), enabled);
    }
    // Emptying a required field disables OK again.
    if (enabled) {
        m_dlg->EditPassword->clear();
        QVERIFY(!m_dlg->ButtonOK->isEnabled());
    }
}

void TestAccountEditor::duplicateRefused_data()
{
    QTest::addColumn<int>("editing");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("new john against JOHN") << -1 << "john" << false;
    QTest::newRow("new ANNA against loaded anna") << -1 << "ANNA" << false;
    QTest::newRow("editing JOHN, name kept") << 0 << "JOHN" << true;
    QTest::newRow("editing JOHN into Anna") << 0 << "Anna" << false;
    QTest::newRow("new MARY") << -1 << "MARY" << true;
}

void TestAccountEditor::duplicateRefused()
{
    QFETCH(int, editing);
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    m_dlg->PrepareEditor(&m_accounts, true);
    if (editing >= 0)
        m_dlg->PrepareEdit(editing);
    else
        m_dlg->PrepareNew();
    m_dlg->EditUsername->selectAll();
    QTest::keyClicks(m_dlg->EditUsername, typed);
    if (m_dlg->EditPassword->text().isEmpty())
        QTest::keyClicks(m_dlg->EditPassword, QStringLiteral("pw"));
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
    QTest::mouseClick(m_dlg->ButtonOK, Qt::LeftButton);
    if (accepted) {
        QVERIFY(m_messages->entries.isEmpty());
        QCOMPARE(m_dlg->result(), int(QDialog::Accepted));
        QVERIFY(!m_dlg->isVisible());
    } else {
        QCOMPARE(m_messages->Texts(), QStringList{"FTP Username " + typed + " is already in use."});
        QCOMPARE(m_messages->entries[0].kind, ScriptedMessageService::Entry::Message);
        QVERIFY(m_dlg->isVisible()); // stays open with the typed values
        QCOMPARE(m_dlg->EditUsername->text(), typed);
    }
}

void TestAccountEditor::prepareEditShowsAccount_data()
{
    QTest::addColumn<bool>("lineMode");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("number");
    QTest::newRow("Ixta, line 3") << true << 0 << 3 << "";
    QTest::newRow("Ixta, not a whole number shows 4") << true << 2 << 4 << "";
    QTest::newRow("other devices, telephone number") << false << 1 << 4 << "+49 30 123";
}

void TestAccountEditor::prepareEditShowsAccount()
{
    QFETCH(bool, lineMode);
    QFETCH(int, index);
    QFETCH(int, line);
    QFETCH(QString, number);
    m_dlg->PrepareEditor(&m_accounts, lineMode);
    m_dlg->PrepareEdit(index);
    QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Edit FTP User"));
    QCOMPARE(m_dlg->EditingIndex(), index);
    QCOMPARE(m_dlg->UserNameText(), m_accounts[index].Name);
    QCOMPARE(m_dlg->PasswordText(), m_accounts[index].Password);
    QCOMPARE(m_dlg->LineValue(), line);
    QCOMPARE(m_dlg->EditNumber->text(), number);
    QVERIFY(m_dlg->ButtonOK->isEnabled());
}

void TestAccountEditor::escapeCancels()
{
    m_dlg->PrepareEditor(&m_accounts, true);
    m_dlg->PrepareNew();
    QTest::keyClicks(m_dlg->EditUsername, QStringLiteral("x"));
    QTest::keyClicks(m_dlg->EditPassword, QStringLiteral("y"));
    QSignalSpy cancelled(m_dlg->ButtonCancel, &QPushButton::clicked);
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
    QTest::keyClick(m_dlg->EditPassword, Qt::Key_Escape);
    QCOMPARE(cancelled.size(), 1);
    QCOMPARE(m_dlg->result(), int(QDialog::Rejected));
    QVERIFY(!m_dlg->isVisible());
}

void TestAccountEditor::nextUseStartsEmpty()
{
    m_dlg->PrepareEditor(&m_accounts, false);
    m_dlg->PrepareEdit(1);
    m_dlg->PrepareEditor(&m_accounts, true);
    m_dlg->PrepareNew();
    QVERIFY(m_dlg->EditUsername->text().isEmpty());
    QVERIFY(m_dlg->EditPassword->text().isEmpty());
    QVERIFY(m_dlg->EditNumber->text().isEmpty());
    QCOMPARE(m_dlg->SpinEditLine->value(), 4);
    QVERIFY(!m_dlg->ButtonOK->isEnabled());
}

void TestAccountEditor::passwordShownAsHash()
{
    QCOMPARE(m_dlg->EditPassword->echoMode(), QLineEdit::Password);
    QCOMPARE(m_dlg->EditPassword->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                                     m_dlg->EditPassword),
             int('#'));
}

void TestAccountEditor::onlyLatin1Accepted()
{
    m_dlg->PrepareEditor(&m_accounts, false);
    m_dlg->PrepareNew();
    for (const QChar c : QStringLiteral("J\u00f6rg\u20ac")) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(m_dlg->EditUsername, &press);
    }
    // The euro sign has no 8-bit form in the program's code page and is refused; ö is kept.
    QCOMPARE(m_dlg->EditUsername->text(), QStringLiteral("J\u00f6rg"));
    QCOMPARE(m_dlg->UserNameText(), QByteArray("J\xf6rg"));
}

QTEST_MAIN(TestAccountEditor)
#include "tst_accounteditor.moc"
