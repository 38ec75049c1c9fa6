#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <stdexcept>

// Raised when the work folder cannot be created; what() is
// "Cannot create settings directory " followed by the folder path.
class WorkFolderError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The per-user data folder: $XDG_DATA_HOME when it is an absolute path, else ~/.local/share;
// without a final '/'. Empty when neither can be determined.
QString UserDataFolder();

// UserDataFolder() + "/Marbeck/Pellaro/", created with its parents.
// Throws WorkFolderError when it cannot be created. Ends with '/'.
QString ResolveWorkFolder();

// Creates the "get" and "current" subfolders (one level) where missing; failures are not reported.
void EnsureSubfolders(const QString& workFolder);

inline QString CurrentFolderOf(const QString& workFolder) { return workFolder + QStringLiteral("current/"); }
inline QString GetFolderOf(const QString& workFolder) { return workFolder + QStringLiteral("get/"); }
inline QString SettingsFileOf(const QString& workFolder) { return workFolder + QStringLiteral("pellaro.ini"); }

// The values of the settings file, with their defaults.
struct Settings
{
    int PosX = -1;
    int PosY = -1;
    int Width = -1;
    int Height = -1;
    QByteArray Address;
    int Port = 21;
    int SortColumn = 0;
};

Settings ReadSettings(const QString& settingsFile);
// Returns false with *error set when the file cannot be written.
bool WriteSettings(const QString& settingsFile, const Settings& s, QString* error = nullptr);

// True when the stored placement is used as it is; false: centre the window at its design size.
bool PlacementHonoured(int posX, int posY, int width, int height);

// The address given by an "ADDRESS=" argument (upper-cased, as the program has always
// taken it), or an empty text when there is none. The last such argument wins.
QByteArray AddressFromArguments(const QStringList& arguments);

// The address of the run: the command-line address when given, else the stored one.
QByteArray CombineAddress(const QByteArray& fromArguments, const QByteArray& stored);
