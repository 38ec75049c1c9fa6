#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A temporary work folder with "current/" and "get/", removed at the end of the test.
class TempWorkFolder
{
public:
    TempWorkFolder();
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path() + QLatin1Char('/'); } // ends with '/'
    QString current() const { return path() + QStringLiteral("current/"); }
    QString get() const { return path() + QStringLiteral("get/"); }

private:
    QTemporaryDir m_dir;
};

// Writes bytes to path (creating parents); returns false on failure.
bool WriteTestFile(const QString& path, const QByteArray& data);
// Reads the whole file; empty when missing.
QByteArray ReadTestFile(const QString& path);
// Names of the plain files in folder, sorted.
QStringList FilesIn(const QString& folder);
// Folder of the source tree (for fixtures and tools).
QString SourceDir();
// Folder of the built programs.
QString BinDir();
