#pragma once

#include "ConfigSnapshot.h"
#include "MessageService.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

// The rules behind the account commands and the account list, kept free of widgets.

// Upper case of 8-bit text as the program's single-byte code page has it (Latin-1):
// a byte whose upper-case letter is again a Latin-1 byte becomes that byte, every other
// byte stays (so 0xFF and 0xB5 keep their value, 0xDF has no single upper-case form).
QByteArray UpperCaseText(const QByteArray& text);

// Order of two texts of the account list: both upper-cased, then compared byte by byte.
// Negative when a sorts before b, 0 when equal, positive otherwise.
int CompareListTexts(const QByteArray& a, const QByteArray& b);

// The user name with every space removed (typed spaces are refused, pasted ones removed).
QString WithoutSpaces(const QString& text);

// The acceptance rule of the account editor: user name and password not empty and,
// unless the line is chosen with the spin field, the number not empty.
bool AccountAcceptable(const QString& userName, const QString& password, const QString& number, bool lineMode);

// Index of an account, other than editingIndex, whose name equals name without regard to
// letter case (UpperCaseText); -1 when there is none.
int FindDuplicateAccount(const QList<tFTPInfo>& accounts, const QByteArray& name, int editingIndex);

// "FTP Username <name as typed> is already in use."
QString DuplicateAccountText(const QString& typedName);

// The spin value the editor shows for a stored Number in line mode: the number when it is
// a decimal whole number, otherwise 4.
int LineFromNumber(const QByteArray& number);

// "User <name> is assigned an invalid line number.\n..." for the first account out of range.
QString InvalidLineText(const QByteArray& name);

// With recorderType 0 every account's Number must be a line 1 to 8: the first one that is not
// is named in a plain message and the result is false. Other recorder types always pass.
bool CheckLineNumbers(const QList<tFTPInfo>& accounts, std::uint8_t recorderType, IMessageService& messages);

// The index an item keeps after the element at removed was taken out of its sequence.
inline int IndexAfterRemoval(int index, int removed)
{
    return index > removed ? index - 1 : index;
}

// Texts of the account and number commands.
QString DeleteAccountText(const QByteArray& name);  // "Do you want to delete the entry for <name>?"
QString DeleteNumberText(const QByteArray& number); // "Do you want to delete the number <n> from the list?"
inline const QString DeleteAllAccountsText = QStringLiteral("All FTP account entries will be deleted.");
inline const QString DeleteAllNumbersText = QStringLiteral("The number list will be cleared.");
inline const QString CloseQuestionText = QStringLiteral("Some data has changed. Do you want to upload it to the Sonvault?");
