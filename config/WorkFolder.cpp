#include "WorkFolder.h"

#include "IniFile.h"

#include <QDir>

QString UserDataFolder()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        const QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty())
            return QString();
        base = home + QStringLiteral("/.local/share");
    }
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

QString ResolveWorkFolder()
{
    const QString base = UserDataFolder();
    if (base.isEmpty())
        return QString(); // no per-user folder: everything relative to the current directory
    const QString folder = base + QStringLiteral("/Marbeck/Pellaro");
    if (!QDir().mkpath(folder))
        throw WorkFolderError(("Cannot create settings directory " + folder).toLocal8Bit().toStdString());
    return folder + QLatin1Char('/');
}

void EnsureSubfolders(const QString& workFolder)
{
    QDir dir(workFolder.isEmpty() ? QStringLiteral(".") : workFolder);
    for (const QString& sub : {QStringLiteral("get"), QStringLiteral("current")}) {
        if (!dir.exists(sub))
            dir.mkdir(sub);
    }
}

namespace {

// The keys of the settings file, in one place.
constexpr const char* Position = "Position";
constexpr const char* Sonvault = "Sonvault";
constexpr const char* Visual = "Visual";

} // namespace

Settings ReadSettings(const QString& settingsFile)
{
    const IniFile ini(settingsFile);
    Settings s;
    s.PosX = ini.ReadInteger(Position, "PosX", s.PosX);
    s.PosY = ini.ReadInteger(Position, "PosY", s.PosY);
    s.Width = ini.ReadInteger(Position, "Width", s.Width);
    s.Height = ini.ReadInteger(Position, "Height", s.Height);
    s.Address = ini.ReadString(Sonvault, "Address", s.Address);
    s.Port = ini.ReadInteger(Sonvault, "Port", s.Port);
    s.SortColumn = ini.ReadInteger(Visual, "SortColumn", s.SortColumn);
    return s;
}

bool WriteSettings(const QString& settingsFile, const Settings& s, QString* error)
{
    IniFile ini(settingsFile, false);
    ini.WriteInteger(Position, "PosX", s.PosX);
    ini.WriteInteger(Position, "PosY", s.PosY);
    ini.WriteInteger(Position, "Width", s.Width);
    ini.WriteInteger(Position, "Height", s.Height);
    ini.WriteString(Sonvault, "Address", s.Address);
    ini.WriteInteger(Sonvault, "Port", s.Port);
    ini.WriteInteger(Visual, "SortColumn", s.SortColumn);
    if (ini.UpdateFile())
        return true;
    if (error)
        *error = ini.ErrorText();
    return false;
}

bool PlacementHonoured(int posX, int posY, int width, int height)
{
    return !(posX < 0 || posY < 0 || width < 291 || height < 301);
}

QByteArray AddressFromArguments(const QStringList& arguments)
{
    QByteArray address;
    for (const QString& arg : arguments) {
        const QString upper = arg.toUpper();
        if (upper.startsWith(QLatin1String("ADDRESS=")))
            address = upper.mid(8).toLatin1();
    }
    return address;
}

QByteArray CombineAddress(const QByteArray& fromArguments, const QByteArray& stored)
{
    return fromArguments.isEmpty() ? stored : fromArguments;
}
