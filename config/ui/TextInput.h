#pragma once

#include <QProxyStyle>
#include <QValidator>

#include <utility>

// Configuration text is 8-bit: edits take only characters that Latin-1 can hold, so that
// nothing typed turns into a different byte when it is stored.
class Latin1Validator final : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        for (const QChar c : std::as_const(input)) {
            if (c.unicode() > 0xFF)
                return Invalid;
        }
        return Acceptable;
    }
};

// Shows every character of a password edit as '#', at once.
class HashPasswordStyle final : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '#';
        if (hint == SH_LineEdit_PasswordMaskDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};
