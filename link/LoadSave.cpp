#include "LoadSave.h"

#include "AccountRules.h"
#include "FtpClient.h"
#include "ListMode.h"
#include "NativeFs.h"
#include "RecorderRules.h"
#include "ReplyCapture.h"
#include "TransferRules.h"
#include "WorkFolder.h"

#include <QFile>

#include <chrono>
#include <thread>

namespace {

// Points the client's local file at name inside folder, by its bytes (names are 8-bit text).
void SetLocalFile(TFtpClient& ftp, const QString& folder, const QByteArray& name)
{
    ftp.LocalFileName = NativeFs::Display(folder, name);
    ftp.LocalFileNative = NativeFs::Join(folder, name);
}

QString Shown(const QByteArray& name)
{
    return QString::fromLatin1(name);
}

} // namespace

QString TRecorderTransfer::CurrentFolder() const
{
    return CurrentFolderOf(m_parts.WorkFolder);
}

QString TRecorderTransfer::GetFolder() const
{
    return GetFolderOf(m_parts.WorkFolder);
}

bool TRecorderTransfer::Login(const QString& title)
{
    LinkParts link{m_parts.Ftp, m_parts.Prompt, m_parts.Messages, m_parts.Progress, m_parts.Address};
    return ConnectLogin(link, title);
}

void TRecorderTransfer::QuitIfConnected()
{
    if (m_parts.Ftp.Connected())
        m_parts.Ftp.Quit();
}

QList<QByteArray> TRecorderTransfer::ListAccountFiles()
{
    TFtpClient& ftp = m_parts.Ftp;
    const QString listing = m_parts.WorkFolder + ConfigFiles::AccountListing;
    ftp.HostFileName = QByteArrayLiteral("USR.*");
    SetLocalFile(ftp, m_parts.WorkFolder, ConfigFiles::AccountListing.toLatin1());
    m_parts.Progress.SetText(TransferText::ListingProgress);
    if (!ftp.Dir()) {
        // A recorder without account files may answer the listing with "no such file".
        if (ftp.StatusCode() != FtpCode::FileNotFound)
            m_transferFailed = true;
        return {};
    }
    LineList lines;
    LoadLines(lines, listing);
    QFile::remove(listing);
    QList<QByteArray> names;
    for (const QByteArray& name : NamesFromListing(lines)) {
        // A listed name becomes a local file name: anything that could lead elsewhere is skipped.
        if (IsSafeListedName(name))
            names.append(name);
    }
    return names;
}

bool TRecorderTransfer::DownloadFile(const QByteArray& name, bool reportMissing, const QString& folder)
{
    TFtpClient& ftp = m_parts.Ftp;
    m_parts.Progress.SetText(QStringLiteral("Downloading ") + Shown(name));
    ftp.HostFileName = name;
    SetLocalFile(ftp, folder, name);
    ftp.Get();
    const int code = ftp.StatusCode();
    if (code == FtpCode::TransferComplete)
        return true;
    NativeFs::Remove(ftp.LocalFileNative);
    if (code == FtpCode::FileNotFound) {
        if (!reportMissing)
            return true;
        m_parts.Messages.ShowMessage(QStringLiteral("File ") + Shown(name) + QStringLiteral(" not found"));
        return false;
    }
    m_transferFailed = true;
    ReportFtpError(ftp, m_parts.Messages);
    return false;
}

void TRecorderTransfer::SendKeyCommand(const QByteArray& keyBytes)
{
    m_parts.Ftp.HostFileName = KeyCommand(keyBytes);
    SetLocalFile(m_parts.Ftp, m_parts.WorkFolder, ConfigFiles::KeyOutput.toLatin1());
    m_parts.Ftp.Dir();
}

// ---- load ----

bool TLoadProcedure::ButtonUpdateLocalClick()
{
    if (!m_parts.Prompt.PromptConnect(LoadLoginTitle()))
        return false;
    m_parts.Progress.SetPosition(10);
    m_parts.Progress.SetText(QString());
    m_parts.Progress.ShowProgress();
    ClearFolder(GetFolder());
    ResetFailures();
    const bool fetched = FetchConfiguration();
    QuitIfConnected();
    m_parts.Progress.HideProgress();
    if (!fetched)
        return false;

    // A download that lost files (other than ones the recorder simply lacks) would make the
    // next save delete accounts from the recorder: keep the local copy instead.
    if (TransferFailed()) {
        m_parts.Messages.ShowMessage(
            QStringLiteral("The configuration could not be loaded completely from the Sonvault.\n"
                           "The local copy was kept unchanged."));
        return false;
    }

    // Rebuild into a separate snapshot, so that a file that cannot be read leaves the
    // snapshot as it was.
    ConfigSnapshot loaded = m_parts.Snapshot;
    if (!LoadSnapshot(loaded, GetFolder(), m_parts.Messages))
        return false;
    loaded.Modified = false;
    m_parts.Snapshot = std::move(loaded);

    QStringList failed;
    const bool copied = CopyFolder(GetFolder(), CurrentFolder(), &failed);
    if (copied) {
        ClearFolder(GetFolder());
    } else {
        // Nothing may be lost: the download stays where it is.
        m_parts.Messages.ShowMessage(QStringLiteral("These files could not be copied into the local copy: %1.\n"
                                                    "The downloaded files are kept in %2")
                                         .arg(failed.join(QStringLiteral(", ")), GetFolder()));
    }
    if (m_parts.ShowSnapshot)
        m_parts.ShowSnapshot();
    // The window shows what was loaded, but the local copy is incomplete: not a success.
    return copied;
}

bool TLoadProcedure::FetchConfiguration()
{
    if (!Login(LoadLoginTitle()))
        return false;

    m_parts.Progress.SetPosition(20);
    m_parts.Capture.Arm(false);
    m_parts.Capture.DeviceReport.clear();
    m_parts.Ftp.Quote(ReportCommand);
    m_parts.Capture.Disarm();

    m_parts.Progress.SetPosition(30);
    const QList<QByteArray> names = ListAccountFiles();
    for (int i = 0; i < names.size(); ++i) {
        DownloadFile(names[i], false, GetFolder());
        m_parts.Progress.SetPosition(LoadAccountBar(i, static_cast<int>(names.size())));
    }
    const struct
    {
        int bar;
        const char* name;
    } fixed[] = {{70, "MESS340.6"}, {80, "MESS340.WAV"}, {90, "BLACK.TXT"}, {95, "CFG.USR"}};
    for (const auto& f : fixed) {
        m_parts.Progress.SetPosition(f.bar);
        DownloadFile(f.name, false, GetFolder());
    }
    return true;
}

// ---- save ----

bool TSaveProcedure::ButtonUpdateFaxServerClick()
{
    ConfigSnapshot& snap = m_parts.Snapshot;
    if (!CheckLineNumbers(snap.Accounts, snap.RecorderType, m_parts.Messages)) {
        m_parts.Messages.ShowMessage(TransferText::UploadCancelled);
        return false;
    }
    if (!SaveSnapshot(snap, CurrentFolder(), m_parts.Messages))
        return false;
    if (!m_parts.Prompt.PromptConnect(SaveLoginTitle()))
        return false;
    m_parts.Progress.SetPosition(10);
    m_parts.Progress.SetText(QString());
    m_parts.Progress.ShowProgress();
    const bool sent = SendConfiguration();
    if (sent)
        snap.Modified = false;
    QuitIfConnected();
    m_parts.Progress.SetPosition(100);
    m_parts.Progress.HideProgress();
    return sent;
}

bool TSaveProcedure::SendConfiguration()
{
    ConfigSnapshot& snap = m_parts.Snapshot;
    TFtpClient& ftp = m_parts.Ftp;
    if (!Login(SaveLoginTitle()))
        return false;

    // The first reply line becomes the device report and is classified; without a line
    // both keep their values.
    m_parts.Capture.DeviceReport = snap.DeviceReport;
    m_parts.Capture.Arm(true);
    ftp.Quote(ReportCommand);
    m_parts.Capture.Disarm();
    snap.DeviceReport = m_parts.Capture.DeviceReport;

    if (m_parts.Capture.ConnectedKind != snap.RecorderType) {
        m_parts.Messages.Ask(TransferText::TypeMismatch, TransferText::TypeMismatchCaption, MsgIcon::Error,
                             MsgButtons::Ok);
        return false;
    }
    const bool fax = IsFaxServer(snap.DeviceReport);
    if (fax && m_parts.Messages.Ask(TransferText::FaxServer, ApplicationTitle(), MsgIcon::Question,
                                    MsgButtons::OkCancel) != MsgResult::Ok)
        return false;
    m_parts.Progress.SetPosition(20);

    if (!fax) {
        const QList<QByteArray> listed = ListAccountFiles();
        m_parts.Progress.SetPosition(30);
        const int n = static_cast<int>(snap.Accounts.size());
        for (int i = 0; i < n; ++i) {
            const QByteArray& name = snap.Accounts[i].Name;
            if (!name.isEmpty() && !UploadFile("USR." + name))
                return false;
            m_parts.Progress.SetPosition(SaveAccountBar(i, n));
        }
        m_parts.Progress.SetPosition(60);
        for (const QByteArray& stale : StaleAccountFiles(listed, snap.Accounts)) {
            m_parts.Progress.SetText(QStringLiteral("Delete ") + Shown(stale));
            ftp.HostFileName = stale;
            if (!ftp.Dele()) {
                m_parts.Messages.ShowMessage(TransferText::RemoteDeleteFailed);
                return false;
            }
        }
    }

    m_parts.Progress.SetPosition(70);
    const auto deleteRemote = [&ftp](const QByteArray& name) {
        ftp.HostFileName = name;
        ftp.Dele();
    };
    if (QFile::exists(CurrentFolder() + ConfigFiles::ShortMessage)) {
        if (UploadFile("MESS340.6"))
            deleteRemote("MESS340.WAV");
    }
    if (QFile::exists(CurrentFolder() + ConfigFiles::LongMessage)) {
        if (snap.RecorderType == RecorderType::Ixta)
            m_parts.Messages.Ask(TransferText::IxtaLongMessage, ApplicationTitle(), MsgIcon::Warning, MsgButtons::Ok);
        if (UploadFile("MESS340.WAV"))
            deleteRemote("MESS340.6");
    }

    m_parts.Progress.SetPosition(90);
    if (QFile::exists(CurrentFolder() + ConfigFiles::Numbers)) {
        UploadFile("BLACK.TXT");
        SendKeyCommand(fax ? KeySequence::FaxNumbersLoaded : KeySequence::NumbersLoaded);
    }

    bool reloadDue = false;
    if (!fax) {
        DownloadFile("CFG.USR", true, CurrentFolder());
        const QString cfg = CurrentFolder() + ConfigFiles::Settings;
        if (QFile::exists(cfg)) {
            LineList lines;
            QString error;
            if (!LoadLines(lines, cfg, &error)) {
                m_parts.Messages.ShowError(error);
            } else {
                const int mode = ReadListMode(lines, snap.RecorderType);
                if (mode != -1 && mode != snap.ListMode) {
                    PatchListMode(lines, snap.RecorderType, snap.ListMode);
                    if (SaveLines(lines, cfg, QByteArrayLiteral("\r"), &error)) {
                        UploadFile("CFG.USR");
                        reloadDue = true;
                    } else {
                        m_parts.Messages.ShowError(error);
                    }
                }
            }
        }
    }

    m_parts.Progress.SetPosition(90);
    if (reloadDue && m_parts.Messages.Ask(TransferText::Reload, ApplicationTitle(), MsgIcon::Information,
                                          MsgButtons::YesNo) == MsgResult::Yes) {
        m_parts.Progress.SetText(TransferText::ReloadProgress);
        SendKeyCommand(KeySequence::PrepareReload);
        if (m_parts.Pause)
            m_parts.Pause(ReloadPauseMs);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(ReloadPauseMs));
        SendKeyCommand(KeySequence::Reload);
    }
    return true;
}

bool TSaveProcedure::UploadFile(const QByteArray& name)
{
    m_parts.Progress.SetText(QStringLiteral("Uploading ") + Shown(name));
    m_parts.Ftp.HostFileName = name;
    SetLocalFile(m_parts.Ftp, CurrentFolder(), name);
    if (m_parts.Ftp.Put())
        return true;
    ReportFtpError(m_parts.Ftp, m_parts.Messages);
    return false;
}
