#pragma once

#include "MessageService.h"

#include <QPointer>
#include <QWidget>

// The message-box service of the window program: every box is a QMessageBox over the
// window that is active when it is shown.
class QtMessageService final : public IMessageService
{
public:
    explicit QtMessageService(QWidget* fallbackParent = nullptr) : m_fallback(fallbackParent) {}
    void SetFallbackParent(QWidget* parent) { m_fallback = parent; }

    void ShowMessage(const QString& text) override;
    MsgResult Ask(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons) override;
    void ShowError(const QString& text) override;

private:
    QWidget* Owner() const;
    QPointer<QWidget> m_fallback;
};
