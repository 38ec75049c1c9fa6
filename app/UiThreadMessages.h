#pragma once

#include "MessageService.h"

#include <QObject>
#include <QPointer>

// Passes boxes on to another message service, always on the thread of a context object
// (the user-interface thread). Called on that thread it passes them on at once; called
// on any other thread (the player's worker) it queues a plain message or an error to that
// thread and returns. A question asked from another thread cannot wait for its answer
// there: it is shown as a plain message and answered as if the box had been closed
// (Cancel, or No where there is no Cancel, or Ok for a box with OK alone).
// Boxes still queued when the context object is destroyed are dropped.
class UiThreadMessages final : public IMessageService
{
public:
    UiThreadMessages(IMessageService& target, QObject* context) : m_target(target), m_context(context) {}

    void ShowMessage(const QString& text) override;
    MsgResult Ask(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons) override;
    void ShowError(const QString& text) override;

private:
    bool OnContextThread() const;

    IMessageService& m_target;
    QPointer<QObject> m_context;
};
