#include "UnitUserID.h"

#include "AccountRules.h"
#include "ListMode.h"
#include "TextInput.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TFormFTPAccount::TFormFTPAccount(IMessageService& messages, QWidget* parent)
    : QDialog(parent), m_messages(messages)
{
    setObjectName(QStringLiteral("FormFTPAccount"));
    setProperty("helpContext", 11);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    LabelUser = new QLabel(QStringLiteral("FTP Username :"), this);
    LabelUser->setObjectName(QStringLiteral("LabelUser"));
    LMDSimpleLabel1 = new QLabel(QStringLiteral("FTP Password :"), this);
    LMDSimpleLabel1->setObjectName(QStringLiteral("LMDSimpleLabel1"));
    LMDSimpleLabel2 = new QLabel(QStringLiteral("Number :"), this);
    LMDSimpleLabel2->setObjectName(QStringLiteral("LMDSimpleLabel2"));

    auto* latin1 = new Latin1Validator(this);
    EditUsername = new QLineEdit(this);
    EditUsername->setObjectName(QStringLiteral("EditUsername"));
    EditPassword = new QLineEdit(this);
    EditPassword->setObjectName(QStringLiteral("EditPassword"));
    EditPassword->setEchoMode(QLineEdit::Password);
    auto* hashStyle = new HashPasswordStyle;
    hashStyle->setParent(this);
    EditPassword->setStyle(hashStyle);
    EditNumber = new QLineEdit(this);
    EditNumber->setObjectName(QStringLiteral("EditNumber"));
    for (QLineEdit* edit : {EditUsername, EditPassword, EditNumber}) {
        edit->setValidator(latin1);
        edit->installEventFilter(this); // EditNameKeyPress
    }

    SpinEditLine = new QSpinBox(this);
    SpinEditLine->setObjectName(QStringLiteral("SpinEditLine"));
    SpinEditLine->setRange(1, 8);
    SpinEditLine->setValue(4);

    ButtonOK = new QPushButton(QStringLiteral("&Ok"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setDefault(true);
    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setAutoDefault(false);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(10);
    grid->addWidget(LabelUser, 0, 0);
    grid->addWidget(EditUsername, 0, 1);
    grid->addWidget(LMDSimpleLabel1, 1, 0);
    grid->addWidget(EditPassword, 1, 1);
    grid->addWidget(LMDSimpleLabel2, 2, 0);
    // The number edit and the spin field share one place; only one is shown.
    grid->addWidget(EditNumber, 2, 1);
    grid->addWidget(SpinEditLine, 2, 1, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);
    SpinEditLine->setMinimumWidth(70);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {ButtonOK, ButtonCancel}) {
        b->setMinimumWidth(90);
        buttons->addWidget(b);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttons);

    setTabOrder(EditUsername, EditPassword);
    setTabOrder(EditPassword, EditNumber);
    setTabOrder(EditNumber, SpinEditLine);
    setTabOrder(SpinEditLine, ButtonOK);
    setTabOrder(ButtonOK, ButtonCancel);

    setFixedSize(340, 210);

    connect(EditUsername, &QLineEdit::textChanged, this, &TFormFTPAccount::EditUsernameChange);
    connect(EditPassword, &QLineEdit::textChanged, this, &TFormFTPAccount::SomethingChanged);
    connect(EditNumber, &QLineEdit::textChanged, this, &TFormFTPAccount::SomethingChanged);
    connect(SpinEditLine, &QSpinBox::valueChanged, this, &TFormFTPAccount::SomethingChanged);
    connect(ButtonOK, &QPushButton::clicked, this, &TFormFTPAccount::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormFTPAccount::ButtonCancelClick);

    PrepareEditor(nullptr, false);
}

bool TFormFTPAccount::LineMode() const
{
    return !SpinEditLine->isHidden();
}

void TFormFTPAccount::PrepareEditor(const QList<tFTPInfo>* accounts, bool lineMode)
{
    m_accounts = accounts;
    ButtonOK->setEnabled(false);
    LMDSimpleLabel2->setText(lineMode ? QStringLiteral("Line :") : QStringLiteral("Telephone number :"));
    SpinEditLine->setHidden(!lineMode);
    EditNumber->setHidden(lineMode);
    EditUsername->clear();
    EditPassword->clear();
    EditNumber->clear();
    SpinEditLine->setValue(4);
    // Clearing the edits ran the acceptance rule; the fields are empty, so OK stays disabled.
    ButtonOK->setEnabled(false);
    EditUsername->setFocus();
}

void TFormFTPAccount::PrepareNew()
{
    m_EditingIndex = -1;
    setWindowTitle(QStringLiteral("New FTP User"));
}

void TFormFTPAccount::PrepareEdit(int index)
{
    m_EditingIndex = index;
    setWindowTitle(QStringLiteral("Edit FTP User"));
    if (!m_accounts || index < 0 || index >= m_accounts->size())
        return;
    const tFTPInfo& account = (*m_accounts)[index];
    EditUsername->setText(QString::fromLatin1(account.Name));
    EditPassword->setText(QString::fromLatin1(account.Password));
    if (!EditNumber->isHidden())
        EditNumber->setText(QString::fromLatin1(account.Number));
    if (!SpinEditLine->isHidden())
        SpinEditLine->setValue(LineFromNumber(account.Number));
}

QByteArray TFormFTPAccount::UserNameText() const
{
    return EditUsername->text().toLatin1();
}

QByteArray TFormFTPAccount::PasswordText() const
{
    return EditPassword->text().toLatin1();
}

QByteArray TFormFTPAccount::NumberText() const
{
    return EditNumber->text().toLatin1();
}

int TFormFTPAccount::LineValue() const
{
    return SpinEditLine->value();
}

bool TFormFTPAccount::eventFilter(QObject* watched, QEvent* event)
{
    // EditNameKeyPress: a typed space is discarded in all three edits.
    if (event->type() == QEvent::KeyPress &&
        (watched == EditUsername || watched == EditPassword || watched == EditNumber)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->text() == QLatin1String(" "))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFormFTPAccount::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        ButtonCancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFormFTPAccount::EditUsernameChange()
{
    // Pasted text may hold spaces; a user name never does.
    const QString text = EditUsername->text();
    const QString cleaned = WithoutSpaces(text);
    if (cleaned != text) {
        const int cursor = EditUsername->cursorPosition();
        const int removedBefore = WithoutSpaces(text.left(cursor)).size();
        EditUsername->setText(cleaned); // runs this handler again, with nothing left to remove
        EditUsername->setCursorPosition(removedBefore);
        return;
    }
    SomethingChanged();
}

void TFormFTPAccount::SomethingChanged()
{
    ButtonOK->setEnabled(AccountAcceptable(EditUsername->text(), EditPassword->text(), EditNumber->text(), LineMode()));
}

void TFormFTPAccount::ButtonOKClick()
{
    if (m_accounts && FindDuplicateAccount(*m_accounts, UserNameText(), m_EditingIndex) != -1) {
        m_messages.ShowMessage(DuplicateAccountText(EditUsername->text()));
        return;
    }
    accept();
}

void TFormFTPAccount::ButtonCancelClick()
{
    reject();
}
