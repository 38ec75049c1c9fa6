#pragma once

#include "MessageService.h"
#include "Unitstring.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

// One FTP account of the recorder. Texts are the bytes of the files.
struct tFTPInfo
{
    QByteArray Name;
    QByteArray Password;
    QByteArray Number;

    friend bool operator==(const tFTPInfo&, const tFTPInfo&) = default;
};

// The recorder configuration held in memory and edited by the program.
struct ConfigSnapshot
{
    QList<tFTPInfo> Accounts;
    QList<QByteArray> Numbers;
    QByteArray DeviceReport;
    std::uint8_t RecorderType = 0;   // 0 Ixta, 1 other devices
    std::int32_t ListMode = 0;       // 0 none, 1 black list, 2 white list
    QString MessageFile;             // "MESS340.6", "MESS340.WAV" or empty
    bool MessagePresent = false;
    std::int32_t MessageSeconds = -1; // -1 unknown
    bool Modified = false;
};

// File names of a configuration folder.
namespace ConfigFiles {
inline const QString Report = QStringLiteral("osreply.txt");
inline const QString AccountPrefix = QStringLiteral("USR.");
inline const QString Numbers = QStringLiteral("BLACK.TXT");
inline const QString Settings = QStringLiteral("CFG.USR");
inline const QString ShortMessage = QStringLiteral("MESS340.6");
inline const QString LongMessage = QStringLiteral("MESS340.WAV");
inline const QString AccountListing = QStringLiteral("FTPAccount.lst");
inline const QString KeyOutput = QStringLiteral("TEMP.TXT");
inline const QString Recording = QStringLiteral("announce.wav");
} // namespace ConfigFiles

// Rebuilds snap from the files in folder (ending with '/'). Missing files are not errors.
// A file that exists but cannot be read stops the reading: the error is shown through
// messages and the result is false (what earlier steps changed stays changed).
bool LoadSnapshot(ConfigSnapshot& snap, const QString& folder, IMessageService& messages);

// Makes currentFolder mirror snap (keeping the message files and CFG.USR).
// Stops at the first file that cannot be written, shows its error and returns false.
// An account name that is not a plain file name is refused with that error, never
// written elsewhere.
bool SaveSnapshot(const ConfigSnapshot& snap, const QString& currentFolder, IMessageService& messages);

// Folder operations; failures of single files are ignored.
void ClearFolder(const QString& folder);
void ClearFolderExceptKept(const QString& folder);
// Clears target, then copies every plain file of source into it. Returns false when a
// file could not be copied (the others are still copied); *failed lists their names.
bool CopyFolder(const QString& source, const QString& target, QStringList* failed = nullptr);

// True when name can be used as one file name inside a folder: not empty, not "." or "..",
// no '/', '\\' or control characters.
bool IsPlainFileName(const QByteArray& name);

// The name of an account's file: "USR." + name.
QString AccountFileName(const QByteArray& name);
