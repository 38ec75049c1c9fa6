#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// File access by byte names, so that 8-bit configuration names (user names in file
// names) reach the file system byte for byte, without a code page conversion.
namespace NativeFs {

// folder (a path ending with '/') joined with a byte name.
QByteArray Join(const QString& folder, const QByteArray& name);
// A byte path shown to the user: the folder as the system names it, the name as Latin-1.
QString Display(const QString& folder, const QByteArray& name);

// Names of the plain files (regular files, also through symbolic links) of folder,
// sorted bytewise. withHidden: also names beginning with '.'.
QList<QByteArray> PlainFiles(const QString& folder, bool withHidden);

bool Exists(const QByteArray& path); // any kind of entry
bool Remove(const QByteArray& path);

// Whole-file read and write; errnum receives errno on failure.
bool Read(const QByteArray& path, QByteArray& data, int& errnum);
bool Write(const QByteArray& path, const QByteArray& data, int& errnum, bool& opened);

} // namespace NativeFs
