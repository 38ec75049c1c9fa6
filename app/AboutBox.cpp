#include "AboutBox.h"

#include "Maker.h"
#include "MessageService.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

QString FullVersionText()
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(PELLARO_VERSION_MAJOR)
        .arg(PELLARO_VERSION_MINOR)
        .arg(PELLARO_VERSION_PATCH)
        .arg(PELLARO_VERSION_TWEAK);
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About ") + ApplicationTitle());
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* icon = new QLabel(this);
    const QIcon standard = windowIcon().isNull() ? style()->standardIcon(QStyle::SP_MessageBoxInformation)
                                                 : windowIcon();
    icon->setPixmap(standard.pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* title = new QLabel(ApplicationTitle(), this);
    title->setObjectName(QStringLiteral("AboutTitle"));
    QFont big = title->font();
    big.setPointSize(22);
    big.setBold(true);
    title->setFont(big);

    auto* version = new QLabel(QStringLiteral("Version ") + FullVersionText(), this);
    version->setObjectName(QStringLiteral("AboutVersion"));

    auto* notice = new QLabel(this);
    notice->setObjectName(QStringLiteral("AboutNotice"));
    notice->setTextFormat(Qt::RichText);
    notice->setOpenExternalLinks(true);
    const QString maker = QLatin1String(Maker::Name);
    const QString domain = QLatin1String(Maker::Domain);
    notice->setText(QStringLiteral("Configuration tool for the Sonvault call recorders.<br>"
                                   "Copyright &copy; %1. All rights reserved.<br><br>"
                                   "Support: <a href=\"mailto:support@%2\">support@%2</a><br>"
                                   "Web: <a href=\"https://www.%2/\">www.%2</a>")
                        .arg(maker, domain));

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(title);
    texts->addWidget(version);
    texts->addSpacing(10);
    texts->addWidget(notice);

    auto* top = new QHBoxLayout;
    top->setSpacing(16);
    top->addWidget(icon);
    top->addLayout(texts, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 14);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(380, 0)));
}
