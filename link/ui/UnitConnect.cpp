#include "UnitConnect.h"

#include "TextInput.h"

#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

TFormConnect::TFormConnect(QWidget* owner, const RecorderAddress& address) : QDialog(owner), m_address(address)
{
    setObjectName(QStringLiteral("FormConnect"));
    setProperty("helpContext", HelpContext);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    IPAddressEditBox = new QLineEdit(this);
    IPAddressEditBox->setObjectName(QStringLiteral("IPAddressEditBox"));
    PortEdit = new QSpinBox(this);
    PortEdit->setObjectName(QStringLiteral("PortEdit"));
    PortEdit->setRange(1, 65535);
    PortEdit->setValue(21);
    PortEdit->setMinimumWidth(90);
    UsernameEditBox = new QLineEdit(this);
    UsernameEditBox->setObjectName(QStringLiteral("UsernameEditBox"));
    PasswordEditBox = new QLineEdit(this);
    PasswordEditBox->setObjectName(QStringLiteral("PasswordEditBox"));
    PasswordEditBox->setEchoMode(QLineEdit::Password);
    auto* style = new HashPasswordStyle;
    style->setParent(this);
    PasswordEditBox->setStyle(style);
    OkButton = new QPushButton(QStringLiteral("Ok"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    OkButton->setEnabled(false);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(QStringLiteral("Host name or IP address:"), IPAddressEditBox);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(PortEdit);
    portRow->addStretch(1);
    form->addRow(QStringLiteral("FTP Port number:"), portRow);
    form->addRow(QStringLiteral("FTP Username:"), UsernameEditBox);
    form->addRow(QStringLiteral("FTP Password:"), PasswordEditBox);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);

    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(14, 14, 14, 12);
    main->setSpacing(14);
    main->addLayout(form);
    main->addLayout(buttons);
    IPAddressEditBox->setMinimumWidth(220);
    setMinimumWidth(400);

    QWidget::setTabOrder(IPAddressEditBox, PortEdit);
    QWidget::setTabOrder(PortEdit, UsernameEditBox);
    QWidget::setTabOrder(UsernameEditBox, PasswordEditBox);
    QWidget::setTabOrder(PasswordEditBox, OkButton);
    QWidget::setTabOrder(OkButton, CancelButton);

    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    for (QLineEdit* edit : {IPAddressEditBox, UsernameEditBox, PasswordEditBox})
        connect(edit, &QLineEdit::textChanged, this, &TFormConnect::IPAddressEditBoxChange);
    connect(PortEdit, &QSpinBox::textChanged, this, &TFormConnect::IPAddressEditBoxChange);

    // The port's text is selected whenever the field is entered, also by a click.
    PortEdit->installEventFilter(this);
}

bool TFormConnect::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == PortEdit && event->type() == QEvent::FocusIn)
        QTimer::singleShot(0, PortEdit, &QSpinBox::selectAll);
    return QDialog::eventFilter(watched, event);
}

void TFormConnect::IPAddressEditBoxChange()
{
    if (!IPAddressEditBox->text().isEmpty() && !UsernameEditBox->text().isEmpty() && !PasswordEditBox->text().isEmpty())
        OkButton->setEnabled(true);
}

void TFormConnect::PreparePrompt(const QString& title)
{
    setWindowTitle(title);
    IPAddressEditBox->setText(QString::fromLatin1(m_address.Address));
    PortEdit->setValue(m_address.Port);
    if (IPAddressEditBox->text().isEmpty())
        IPAddressEditBox->setFocus();
    else if (UsernameEditBox->text().isEmpty())
        UsernameEditBox->setFocus();
    else
        PasswordEditBox->setFocus();
    OkButton->setEnabled(false);
    IPAddressEditBoxChange();
}

bool TFormConnect::PromptConnect(const QString& title)
{
    PreparePrompt(title);
    return exec() == QDialog::Accepted;
}

QString TFormConnect::Host() const
{
    return IPAddressEditBox->text();
}

int TFormConnect::Port() const
{
    return PortEdit->value();
}

QByteArray TFormConnect::UserName() const
{
    return UsernameEditBox->text().toLatin1();
}

QByteArray TFormConnect::PassWord() const
{
    return PasswordEditBox->text().toLatin1();
}
