#pragma once

#include "MessageService.h"

#include <QList>
#include <QQueue>
#include <QString>

// Records every message and answers questions from a queue (default: the first
// button of the set: Ok or Yes).
class ScriptedMessageService final : public IMessageService
{
public:
    struct Entry
    {
        enum Kind { Message, Question, Error } kind;
        QString text;
        QString caption;
        MsgIcon icon = MsgIcon::None;
        MsgButtons buttons = MsgButtons::Ok;
    };

    void ShowMessage(const QString& text) override;
    MsgResult Ask(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons) override;
    void ShowError(const QString& text) override;

    void Answer(MsgResult r) { answers.enqueue(r); }
    QStringList Texts() const;
    void Clear() { entries.clear(); answers.clear(); }

    QList<Entry> entries;
    QQueue<MsgResult> answers;
};
