#include "ConnectLogin.h"

#include "FtpClient.h"
#include "RecorderRules.h"
#include "ReplyCapture.h"

bool FixedConnectPrompt::PromptConnect(const QString& title)
{
    Titles << title;
    if (m_confirmations <= 0)
        return false;
    --m_confirmations;
    return true;
}

bool ConnectLogin(LinkParts& link, const QString& title)
{
    for (;;) {
        const QString host = link.Prompt.Host();
        link.Ftp.HostName = host;
        link.Ftp.Port = QString::number(link.Prompt.Port());
        link.Ftp.UserName = link.Prompt.UserName();
        link.Ftp.PassWord = link.Prompt.PassWord();
        link.Progress.SetText(QStringLiteral("Connecting to ") + host + QStringLiteral(" ..."));
        if (link.Ftp.Connect()) {
            if (link.Ftp.StatusCode() == FtpCode::LoggedIn)
                break;
            link.Messages.ShowMessage(QStringLiteral("Connection Failed"));
        } else {
            ReportFtpError(link.Ftp, link.Messages);
        }
        if (!link.Prompt.PromptConnect(title))
            return false;
    }
    link.Address.Address = link.Prompt.Host().toLatin1();
    link.Address.Port = link.Prompt.Port();
    return true;
}

QString FtpErrorText(int statusCode)
{
    switch (statusCode) {
    case FtpCode::ConnectionClosed:
        return QStringLiteral("Connection closed suddenly");
    case FtpCode::RecorderBusy:
        return QStringLiteral("Sonvault busy");
    case FtpCode::NotLoggedIn:
        return QStringLiteral("Username and/or password wrong");
    default:
        return QStringLiteral("FTP Error, Status: ") + QString::number(statusCode);
    }
}

void ReportFtpError(const TFtpClient& ftp, IMessageService& messages)
{
    messages.ShowMessage(FtpErrorText(ftp.StatusCode()));
}

void BindFtpClientEvents(TFtpClient& ftp, ReplyCapture& capture, IMessageService& messages)
{
    ftp.OnBgException = [&messages](TFtpClient&, const QString&) {
        messages.ShowMessage(QStringLiteral("FTP Exception"));
    };
    // The capture writing "osreply.txt" fails like any other work inside the client's event.
    ftp.OnResponse = [&capture, &messages](TFtpClient&, const QByteArray& line) {
        if (!capture.FtpClientResponse(line))
            messages.ShowMessage(QStringLiteral("FTP Exception"));
    };
}
