#pragma once

#include <QString>

// The one way the logic layers talk to the user. The window shows QMessageBox,
// the command line prints to stderr and answers from its flags, tests script it.
enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgResult { Ok, Cancel, Yes, No };

class IMessageService
{
public:
    virtual ~IMessageService() = default;

    // A plain message whose caption is the application title ("Pellaro").
    virtual void ShowMessage(const QString& text) = 0;

    // A box with an explicit caption, icon and button set; returns the button chosen.
    // Closing the box without a choice answers Cancel (or No where there is no Cancel).
    virtual MsgResult Ask(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons) = 0;

    // The application's general error display (file errors, exceptions).
    virtual void ShowError(const QString& text) = 0;
};

// The application title, also the caption of several boxes.
inline QString ApplicationTitle()
{
    return QStringLiteral("Pellaro");
}
