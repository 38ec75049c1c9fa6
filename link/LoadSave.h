#pragma once

#include "ConfigSnapshot.h"
#include "ConnectLogin.h"
#include "MessageService.h"
#include "ProgressSink.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class ReplyCapture;
class TFtpClient;

// What the load and save procedures work with: the snapshot they read and replace, the
// FTP client and the report capture bound to it, the connect prompt, the boxes, the
// progress window, and the recorder's address kept between runs.
struct TransferParts
{
    ConfigSnapshot& Snapshot;
    QString WorkFolder; // ends with '/'
    TFtpClient& Ftp;
    ReplyCapture& Capture;
    IConnectPrompt& Prompt;
    IMessageService& Messages;
    IProgressSink& Progress;
    RecorderAddress& Address;
    // Refreshes every view from the snapshot (the window's ShowSnapshot); may be empty.
    std::function<void()> ShowSnapshot;
    // Blocks for the given milliseconds (the pause between the reload key commands).
    // Empty: the thread sleeps without dispatching events.
    std::function<void(int)> Pause;
};

// The operations the load and the save share: the listing of the recorder's account files,
// the download of one file, key commands.
class TRecorderTransfer
{
public:
    explicit TRecorderTransfer(TransferParts& parts) : m_parts(parts) {}

    // The recorder's account files ("USR.*"), in listing order. Names that could not be a
    // local file name are left out. Empty when the listing fails (see ListingFailed()).
    QList<QByteArray> ListAccountFiles();
    // Fetches name into folder. True when fetched, or missing (550) and not to be reported.
    bool DownloadFile(const QByteArray& name, bool reportMissing, const QString& folder);
    // Sends a key sequence as a "[K]..." listing into TEMP.TXT; the reply is ignored.
    void SendKeyCommand(const QByteArray& keyBytes);

    QString CurrentFolder() const;
    QString GetFolder() const;

    // True when, since the last reset, the listing or a download failed for a reason other
    // than "no such file".
    bool TransferFailed() const { return m_transferFailed; }
    void ResetFailures() { m_transferFailed = false; }

protected:
    bool Login(const QString& title);
    void QuitIfConnected();

    TransferParts& m_parts;
    bool m_transferFailed = false;
};

// "&Load from Sonvault": fetches the recorder's configuration into the get folder, rebuilds
// the snapshot from it and only then makes it the local copy.
class TLoadProcedure final : public TRecorderTransfer
{
public:
    using TRecorderTransfer::TRecorderTransfer;

    // The whole command; true when the local copy now holds the recorder's configuration.
    bool ButtonUpdateLocalClick();
    // Logs in and downloads everything; true when the login succeeded.
    bool FetchConfiguration();
};

// "&Save to Sonvault": writes the local copy and sends it to the recorder.
class TSaveProcedure final : public TRecorderTransfer
{
public:
    using TRecorderTransfer::TRecorderTransfer;

    // The whole command; true when the configuration was sent (Modified then cleared).
    bool ButtonUpdateFaxServerClick();
    // Logs in, checks the recorder and sends; true when the configuration was sent.
    bool SendConfiguration();
    // Sends one file of the current folder; on failure tells why and gives false.
    bool UploadFile(const QByteArray& name);
};

// Texts of the procedures.
namespace TransferText {
inline const QString UploadCancelled = QStringLiteral("Upload cancelled");
inline const QString TypeMismatchCaption = QStringLiteral("Pellaro: Upload failed");
inline const QString TypeMismatch =
    QStringLiteral("The Recorder type to which you upload does not\nmatch to the specified Recorder type.");
inline const QString FaxServer = QStringLiteral("You are uploading to a Fax Server.\n"
                                                "Only the notification message, and the black/white file will be "
                                                "uploaded\nUse Drumlin for configuring users.");
inline const QString IxtaLongMessage = QStringLiteral("For IXTA recorders that message must be shorter than 30 sec.");
inline const QString RemoteDeleteFailed = QStringLiteral("Error remote deleting file");
inline const QString Reload = QStringLiteral(
    "To load the new black/white list setting the active recordings must be stopped.\nContinue?");
inline const QString ListingProgress = QStringLiteral("Retrieving user FTP accounts details");
inline const QString ReloadProgress = QStringLiteral("Preparing settings reload");
} // namespace TransferText
