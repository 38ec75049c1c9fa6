#include "Unitstring.h"

#include "NativeFs.h"

#include <QFile>

#include <cstring>

namespace {

QString Reason(int errnum)
{
    return QString::fromLocal8Bit(std::strerror(errnum));
}

} // namespace

QString CannotOpenText(const QString& path, int errnum)
{
    return QStringLiteral("Cannot open file \"%1\". %2").arg(path, Reason(errnum));
}

QString CannotCreateText(const QString& path, int errnum)
{
    return QStringLiteral("Cannot create file \"%1\". %2").arg(path, Reason(errnum));
}

QString CannotWriteText(const QString& path, int errnum)
{
    return QStringLiteral("Cannot write file \"%1\". %2").arg(path, Reason(errnum));
}

bool ReadNativeFile(const QByteArray& nativePath, const QString& shownPath, QByteArray& data, QString* error)
{
    int errnum = 0;
    if (NativeFs::Read(nativePath, data, errnum))
        return true;
    if (error)
        *error = CannotOpenText(shownPath, errnum);
    return false;
}

bool WriteNativeFile(const QByteArray& nativePath, const QString& shownPath, const QByteArray& data, QString* error)
{
    int errnum = 0;
    bool opened = false;
    if (NativeFs::Write(nativePath, data, errnum, opened))
        return true;
    if (error)
        *error = opened ? CannotWriteText(shownPath, errnum) : CannotCreateText(shownPath, errnum);
    return false;
}

bool ReadFileBytes(const QString& path, QByteArray& data, QString* error)
{
    return ReadNativeFile(QFile::encodeName(path), path, data, error);
}

bool WriteFileBytes(const QString& path, const QByteArray& data, QString* error)
{
    return WriteNativeFile(QFile::encodeName(path), path, data, error);
}

void SplitLines(LineList& list, const QByteArray& data)
{
    const char* p = data.constData();
    const qsizetype n = data.size();
    qsizetype start = 0;
    char ended = 0; // the CR or LF that ended a line at the previous byte, else 0
    for (qsizetype i = 0; i < n; ++i) {
        const char c = p[i];
        if (c != '\r' && c != '\n') {
            ended = 0;
            continue;
        }
        if (ended != 0 && c != ended) {
            // Second half of a CR LF or LF CR pair: completes the line end only.
            ended = 0;
            start = i + 1;
            continue;
        }
        list.append(QByteArray(p + start, i - start));
        ended = c;
        start = i + 1;
    }
    if (start < n)
        list.append(QByteArray(p + start, n - start));
}

bool LoadLines(LineList& list, const QString& path, QString* error)
{
    QByteArray data;
    if (!ReadFileBytes(path, data, error))
        return false;
    SplitLines(list, data);
    return true;
}

QByteArray JoinLines(const LineList& list, const QByteArray& separator)
{
    qsizetype total = 0;
    for (const QByteArray& line : list)
        total += line.size() + separator.size();
    QByteArray text;
    text.reserve(total);
    for (const QByteArray& line : list) {
        text += line;
        text += separator;
    }
    return text;
}

bool SaveLines(const LineList& list, const QString& path, const QByteArray& separator, QString* error)
{
    return WriteFileBytes(path, JoinLines(list, separator), error);
}
