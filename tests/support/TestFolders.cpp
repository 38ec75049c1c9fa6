#include "TestFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TempWorkFolder::TempWorkFolder()
{
    QDir d(m_dir.path());
    d.mkdir(QStringLiteral("current"));
    d.mkdir(QStringLiteral("get"));
}

bool WriteTestFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(data) == data.size();
}

QByteArray ReadTestFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QStringList FilesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

QString SourceDir()
{
    return qEnvironmentVariable("PELLARO_SOURCE_DIR", QStringLiteral(PELLARO_TEST_SOURCE_DIR));
}

QString BinDir()
{
    return qEnvironmentVariable("PELLARO_BIN_DIR", QStringLiteral(PELLARO_TEST_BIN_DIR));
}
