#pragma once

#include "MessageService.h"
#include "ProgressSink.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <utility>

class ReplyCapture;
class TFtpClient;

// The recorder's address as the main window keeps it between runs (the SettingsFile's
// "Address" and "Port"); the connect prompt starts from it, a successful login updates it.
struct RecorderAddress
{
    QByteArray Address;
    int Port = 21;
};

// Asks for host, port, user name and password. The window shows the connect dialog,
// the command line answers from its flags, tests script it.
class IConnectPrompt
{
public:
    virtual ~IConnectPrompt() = default;
    // Shows the prompt with title as its caption; true when the user confirmed (OK).
    virtual bool PromptConnect(const QString& title) = 0;
    // The values the prompt holds now.
    virtual QString Host() const = 0;
    virtual int Port() const = 0;
    virtual QByteArray UserName() const = 0;
    virtual QByteArray PassWord() const = 0;
};

// A prompt with fixed values that confirms a given number of times, then cancels.
// The command line uses it with no confirmations left: a failed login gives up.
class FixedConnectPrompt final : public IConnectPrompt
{
public:
    FixedConnectPrompt(QString host, int port, QByteArray user, QByteArray password, int confirmations = 0)
        : m_host(std::move(host)), m_port(port), m_user(std::move(user)), m_password(std::move(password)),
          m_confirmations(confirmations)
    {
    }
    bool PromptConnect(const QString& title) override;
    QString Host() const override { return m_host; }
    int Port() const override { return m_port; }
    QByteArray UserName() const override { return m_user; }
    QByteArray PassWord() const override { return m_password; }

    QStringList Titles; // the title of every prompt, in order

private:
    QString m_host;
    int m_port;
    QByteArray m_user;
    QByteArray m_password;
    int m_confirmations;
};

// Everything the connect-and-login procedure works with.
struct LinkParts
{
    TFtpClient& Ftp;
    IConnectPrompt& Prompt;
    IMessageService& Messages;
    IProgressSink& Progress;
    RecorderAddress& Address;
};

// Titles of the re-prompts of the two procedures that log in.
inline QString LoadLoginTitle()
{
    return QStringLiteral("Load from Sonvault: Login");
}
inline QString SaveLoginTitle()
{
    return QStringLiteral("Save to Sonvault: Login");
}

// Connects and logs in with the prompt's values; after a failure tells why and prompts
// again with title, until the login succeeds (true) or the prompt is cancelled (false).
// On success the address and port are kept in link.Address.
bool ConnectLogin(LinkParts& link, const QString& title);

// The message for the client's last StatusCode (plain message box).
QString FtpErrorText(int statusCode);
void ReportFtpError(const TFtpClient& ftp, IMessageService& messages);

// The client's two event handlers as the program binds them: every reply line goes to the
// capture; a failure inside the client shows "FTP Exception" (its own text is not shown).
void BindFtpClientEvents(TFtpClient& ftp, ReplyCapture& capture, IMessageService& messages);
