#include "ConfigSnapshot.h"

#include "ListMode.h"
#include "NativeFs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>

namespace {

// Same rule as the recorder's report classification; kept local so that the
// configuration library does not depend on the link library.
std::uint8_t Classify(const QByteArray& report)
{
    return (report.contains("IXTA") || report.contains("UMBA")) ? 0 : 1;
}

QByteArray Substitute(std::uint8_t type)
{
    return type == 0 ? QByteArrayLiteral("IXTA") : QByteArrayLiteral("Unknown");
}

bool Exists(const QString& path)
{
    return QFileInfo::exists(path);
}

const QList<QByteArray>& KeptFiles()
{
    static const QList<QByteArray> kept{"MESS340.6", "MESS340.WAV", "CFG.USR"};
    return kept;
}

} // namespace

bool IsPlainFileName(const QByteArray& name)
{
    if (name.isEmpty() || name == "." || name == "..")
        return false;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || c == '/' || c == '\\')
            return false;
    }
    return true;
}

QString AccountFileName(const QByteArray& name)
{
    return ConfigFiles::AccountPrefix + QString::fromLatin1(name);
}

bool LoadSnapshot(ConfigSnapshot& snap, const QString& folder, IMessageService& messages)
{
    QString error;
    const auto fail = [&] {
        messages.ShowError(error);
        return false;
    };

    // 1. Report.
    snap.DeviceReport.clear();
    const QString reportPath = folder + ConfigFiles::Report;
    if (Exists(reportPath)) {
        LineList lines;
        if (!LoadLines(lines, reportPath, &error))
            return fail();
        if (!lines.isEmpty())
            snap.DeviceReport = lines.first();
    }

    // 2. Recorder type follows the report on every load.
    snap.RecorderType = Classify(snap.DeviceReport);

    // 3. Accounts, into a separate sequence.
    QList<tFTPInfo> accounts;
    for (const QByteArray& fileName : NativeFs::PlainFiles(folder, false)) {
        if (fileName.size() < 4 || qstrnicmp(fileName.constData(), "usr.", 4) != 0)
            continue;
        const QByteArray path = NativeFs::Join(folder, fileName);
        QByteArray data;
        if (!ReadNativeFile(path, NativeFs::Display(folder, fileName), data, &error)) {
            if (!NativeFs::Exists(path))
                continue; // gone since the enumeration
            return fail();
        }
        LineList lines;
        SplitLines(lines, data);
        tFTPInfo info;
        info.Name = fileName.mid(4);
        if (lines.size() >= 2) {
            info.Password = lines[0];
            info.Number = lines[1];
        }
        accounts.append(std::move(info));
    }

    // 4. Message state; the long form wins.
    snap.MessagePresent = false;
    snap.MessageFile.clear();
    if (Exists(folder + ConfigFiles::ShortMessage)) {
        snap.MessageFile = ConfigFiles::ShortMessage;
        snap.MessagePresent = true;
    }
    if (Exists(folder + ConfigFiles::LongMessage)) {
        snap.MessageFile = ConfigFiles::LongMessage;
        snap.MessagePresent = true;
    }
    if (snap.MessagePresent)
        snap.MessageSeconds = -1;

    // 5. List mode from CFG.USR.
    snap.ListMode = 0;
    const QString cfgPath = folder + ConfigFiles::Settings;
    if (Exists(cfgPath)) {
        LineList lines;
        if (!LoadLines(lines, cfgPath, &error))
            return fail();
        const int mode = ReadListMode(lines, snap.RecorderType);
        snap.ListMode = mode == -1 ? 0 : mode;
    }

    // 6. Numbers, empty lines skipped.
    snap.Numbers.clear();
    const QString numbersPath = folder + ConfigFiles::Numbers;
    if (Exists(numbersPath)) {
        LineList lines;
        if (!LoadLines(lines, numbersPath, &error))
            return fail();
        for (QByteArray& line : lines) {
            if (!line.isEmpty())
                snap.Numbers.append(std::move(line));
        }
    }

    // 7. The new accounts replace the old ones.
    snap.Accounts = std::move(accounts);
    return true;
}

bool SaveSnapshot(const ConfigSnapshot& snap, const QString& currentFolder, IMessageService& messages)
{
    QString error;
    const auto fail = [&] {
        messages.ShowError(error);
        return false;
    };
    static const QByteArray crlf("\r\n");

    ClearFolderExceptKept(currentFolder);

    // A recorder type chosen by the user survives the next load.
    QByteArray report = snap.DeviceReport;
    if (Classify(report) != snap.RecorderType)
        report = Substitute(snap.RecorderType);
    if (!WriteFileBytes(currentFolder + ConfigFiles::Report, report + crlf, &error))
        return fail();

    for (const tFTPInfo& account : snap.Accounts) {
        const QByteArray fileName = "USR." + account.Name;
        const QString shown = NativeFs::Display(currentFolder, fileName);
        // The name becomes part of a file name: never let it lead out of the folder.
        if (!IsPlainFileName(fileName)) {
            error = QStringLiteral("Cannot create file \"%1\". The account name cannot be used as a file name.")
                        .arg(shown);
            return fail();
        }
        if (!WriteNativeFile(NativeFs::Join(currentFolder, fileName), shown,
                             account.Password + crlf + account.Number + crlf, &error))
            return fail();
    }

    if (!SaveLines(snap.Numbers, currentFolder + ConfigFiles::Numbers, crlf, &error))
        return fail();

    const QString cfgPath = currentFolder + ConfigFiles::Settings;
    if (Exists(cfgPath)) {
        LineList lines;
        if (!LoadLines(lines, cfgPath, &error))
            return fail();
        if (lines.size() >= 4)
            lines[3] = QByteArray::number(snap.ListMode);
        if (!SaveLines(lines, cfgPath, QByteArrayLiteral("\r"), &error))
            return fail();
    }
    return true;
}

void ClearFolder(const QString& folder)
{
    for (const QByteArray& name : NativeFs::PlainFiles(folder, true))
        NativeFs::Remove(NativeFs::Join(folder, name));
}

void ClearFolderExceptKept(const QString& folder)
{
    for (const QByteArray& name : NativeFs::PlainFiles(folder, true)) {
        if (!KeptFiles().contains(name))
            NativeFs::Remove(NativeFs::Join(folder, name));
    }
}

bool CopyFolder(const QString& source, const QString& target, QStringList* failed)
{
    ClearFolder(target);
    bool ok = true;
    for (const QByteArray& name : NativeFs::PlainFiles(source, true)) {
        QByteArray data;
        int errnum = 0;
        bool opened = false;
        if (!NativeFs::Read(NativeFs::Join(source, name), data, errnum) ||
            !NativeFs::Write(NativeFs::Join(target, name), data, errnum, opened)) {
            ok = false;
            if (failed)
                failed->append(QString::fromLatin1(name));
        }
    }
    return ok;
}
