#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Text files as bytes: no code page conversion, no byte-order mark.
using LineList = QList<QByteArray>;

// Appends the lines of the file at path to list (the list is not cleared).
// CR, LF, CR LF and LF CR each end one line; a final line end adds no empty line.
// On failure returns false and sets *error to "Cannot open file "<path>". <reason>".
bool LoadLines(LineList& list, const QString& path, QString* error = nullptr);

// Splits bytes into lines by the rules of LoadLines.
void SplitLines(LineList& list, const QByteArray& data);

// Creates or truncates path and writes every line followed by separator.
// On failure returns false and sets *error to "Cannot create file "<path>". <reason>".
bool SaveLines(const LineList& list, const QString& path, const QByteArray& separator, QString* error = nullptr);

// Whole-file helpers with the same error texts.
bool ReadFileBytes(const QString& path, QByteArray& data, QString* error = nullptr);
bool WriteFileBytes(const QString& path, const QByteArray& data, QString* error = nullptr);

// The same on byte paths (see NativeFs); shownPath names the file in the message.
bool ReadNativeFile(const QByteArray& nativePath, const QString& shownPath, QByteArray& data, QString* error = nullptr);
bool WriteNativeFile(const QByteArray& nativePath, const QString& shownPath, const QByteArray& data,
                     QString* error = nullptr);

// Every line followed by separator.
QByteArray JoinLines(const LineList& list, const QByteArray& separator);

// "Cannot open file "%s". %s", "Cannot create file "%s". %s", "Cannot write file "%s". %s"
// with the system's reason for errnum.
QString CannotOpenText(const QString& path, int errnum);
QString CannotCreateText(const QString& path, int errnum);
QString CannotWriteText(const QString& path, int errnum);
