#include "AccountRules.h"

#include "ListMode.h"

#include <QChar>

QByteArray UpperCaseText(const QByteArray& text)
{
    QByteArray out = text;
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        const char16_t upper = QChar::toUpper(char16_t(u));
        if (upper <= 0xFF)
            c = static_cast<char>(upper);
    }
    return out;
}

int CompareListTexts(const QByteArray& a, const QByteArray& b)
{
    // QByteArray compares its bytes as unsigned values, character code by character code.
    return UpperCaseText(a).compare(UpperCaseText(b));
}

QString WithoutSpaces(const QString& text)
{
    QString out = text;
    out.remove(QLatin1Char(' '));
    return out;
}

bool AccountAcceptable(const QString& userName, const QString& password, const QString& number, bool lineMode)
{
    return !userName.isEmpty() && !password.isEmpty() && (lineMode || !number.isEmpty());
}

int FindDuplicateAccount(const QList<tFTPInfo>& accounts, const QByteArray& name, int editingIndex)
{
    const QByteArray wanted = UpperCaseText(name);
    for (int j = 0; j < accounts.size(); ++j) {
        if (j != editingIndex && UpperCaseText(accounts[j].Name) == wanted)
            return j;
    }
    return -1;
}

QString DuplicateAccountText(const QString& typedName)
{
    return QStringLiteral("FTP Username ") + typedName + QStringLiteral(" is already in use.");
}

int LineFromNumber(const QByteArray& number)
{
    // ParseDecimal returns -1 for text that is not a whole number; "-1" itself is one.
    if (number == "-1")
        return -1;
    const int n = ParseDecimal(number);
    return n == -1 ? 4 : n;
}

QString InvalidLineText(const QByteArray& name)
{
    return QStringLiteral("User ") + QString::fromLatin1(name) +
           QStringLiteral(" is assigned an invalid line number.\nLine numbers are between 1 and 8.\n"
                          "If the target device is not an Ixta, change the Recorder type in the groupbox on the left.");
}

bool CheckLineNumbers(const QList<tFTPInfo>& accounts, std::uint8_t recorderType, IMessageService& messages)
{
    if (recorderType != 0)
        return true;
    for (const tFTPInfo& account : accounts) {
        const int n = ParseDecimal(account.Number);
        if (n < 1 || n > 8) {
            messages.ShowMessage(InvalidLineText(account.Name));
            return false;
        }
    }
    return true;
}

QString DeleteAccountText(const QByteArray& name)
{
    return QStringLiteral("Do you want to delete the entry for ") + QString::fromLatin1(name) + QLatin1Char('?');
}

QString DeleteNumberText(const QByteArray& number)
{
    return QStringLiteral("Do you want to delete the number ") + QString::fromLatin1(number) +
           QStringLiteral(" from the list?");
}
