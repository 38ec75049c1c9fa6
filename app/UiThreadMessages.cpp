#include "UiThreadMessages.h"

#include <QThread>

bool UiThreadMessages::OnContextThread() const
{
    const QObject* context = m_context.data();
    return !context || context->thread() == QThread::currentThread();
}

void UiThreadMessages::ShowMessage(const QString& text)
{
    if (OnContextThread()) {
        m_target.ShowMessage(text);
        return;
    }
    IMessageService* target = &m_target;
    QMetaObject::invokeMethod(
        m_context.data(), [target, text] { target->ShowMessage(text); }, Qt::QueuedConnection);
}

MsgResult UiThreadMessages::Ask(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons)
{
    if (OnContextThread())
        return m_target.Ask(text, caption, icon, buttons);
    ShowMessage(text);
    switch (buttons) {
    case MsgButtons::Ok:
        return MsgResult::Ok;
    case MsgButtons::YesNo:
        return MsgResult::No;
    case MsgButtons::OkCancel:
    case MsgButtons::YesNoCancel:
        break;
    }
    return MsgResult::Cancel;
}

void UiThreadMessages::ShowError(const QString& text)
{
    if (OnContextThread()) {
        m_target.ShowError(text);
        return;
    }
    IMessageService* target = &m_target;
    QMetaObject::invokeMethod(
        m_context.data(), [target, text] { target->ShowError(text); }, Qt::QueuedConnection);
}
