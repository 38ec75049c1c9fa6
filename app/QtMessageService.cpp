#include "QtMessageService.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QMessageBox::Icon BoxIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons BoxButtons(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::Ok: return QMessageBox::Ok;
    case MsgButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

} // namespace

QWidget* QtMessageService::Owner() const
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return m_fallback.data();
}

void QtMessageService::ShowMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle(), text, QMessageBox::Ok, Owner());
    box.exec();
}

MsgResult QtMessageService::Ask(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons)
{
    QMessageBox box(BoxIcon(icon), caption, text, BoxButtons(buttons), Owner());
    // The first button is the default, as in the message boxes the texts were written for.
    box.setDefaultButton(buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ? QMessageBox::Yes
                                                                                            : QMessageBox::Ok);
    switch (box.exec()) {
    case QMessageBox::Ok: return MsgResult::Ok;
    case QMessageBox::Yes: return MsgResult::Yes;
    case QMessageBox::No: return MsgResult::No;
    default: break;
    }
    // Closed without a choice.
    return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Cancel;
}

void QtMessageService::ShowError(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok, Owner());
    box.exec();
}
