#include "ScriptedMessageService.h"

void ScriptedMessageService::ShowMessage(const QString& text)
{
    entries.append({Entry::Message, text, ApplicationTitle(), MsgIcon::None, MsgButtons::Ok});
}

MsgResult ScriptedMessageService::Ask(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons)
{
    entries.append({Entry::Question, text, caption, icon, buttons});
    if (!answers.isEmpty())
        return answers.dequeue();
    return (buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel) ? MsgResult::Yes : MsgResult::Ok;
}

void ScriptedMessageService::ShowError(const QString& text)
{
    entries.append({Entry::Error, text, ApplicationTitle(), MsgIcon::Error, MsgButtons::Ok});
}

QStringList ScriptedMessageService::Texts() const
{
    QStringList out;
    for (const auto& e : entries)
        out << e.text;
    return out;
}
