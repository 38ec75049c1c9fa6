// pellaro-cli report: logs in to a recorder, prints its report and what it is.
#include "CliCommand.h"
#include "ConnectLogin.h"
#include "FtpClient.h"
#include "RecorderRules.h"
#include "ReplyCapture.h"
#include "Unitstring.h"

#include <QtGlobal>

namespace {

// Progress texts go to stderr, so stdout holds only the result.
class CliProgress final : public IProgressSink
{
public:
    void ShowProgress() override {}
    void SetPosition(int) override {}
    void SetText(const QString& text) override
    {
        if (!text.isEmpty())
            CliErr(text);
    }
    void HideProgress() override {}
};

int Usage(const QString& text)
{
    CliErr(QStringLiteral("report: ") + text);
    return CliExit::Usage;
}

int RunReport(CliContext& ctx)
{
    QString host;
    int port = 21;
    QByteArray user;
    QString passwordFile;
    bool haveUser = false;
    for (qsizetype i = 0; i < ctx.args.size(); ++i) {
        const QString& a = ctx.args[i];
        const bool hasValue = i + 1 < ctx.args.size();
        if (a == QLatin1String("--password") || a.startsWith(QLatin1String("--password="))) {
            return Usage(QStringLiteral("the password is never taken from the command line; "
                                        "use --password-file F or the environment variable PELLARO_PASSWORD"));
        }
        if (!hasValue || !(a == QLatin1String("--host") || a == QLatin1String("--port") ||
                           a == QLatin1String("--user") || a == QLatin1String("--password-file")))
            return Usage(QStringLiteral("unknown or incomplete argument ") + a);
        const QString value = ctx.args[++i];
        if (a == QLatin1String("--host")) {
            host = value;
        } else if (a == QLatin1String("--port")) {
            bool ok = false;
            port = value.toInt(&ok);
            if (!ok || port < 1 || port > 65535)
                return Usage(QStringLiteral("--port needs a number from 1 to 65535"));
        } else if (a == QLatin1String("--user")) {
            user = value.toLocal8Bit();
            haveUser = true;
        } else {
            passwordFile = value;
        }
    }
    if (host.isEmpty() || !haveUser)
        return Usage(QStringLiteral("--host and --user are required"));

    QByteArray password;
    if (!passwordFile.isEmpty()) {
        LineList lines;
        QString error;
        if (!LoadLines(lines, passwordFile, &error)) {
            CliErr(error);
            return CliExit::Failed;
        }
        if (!lines.isEmpty())
            password = lines.first();
    } else if (qEnvironmentVariableIsSet("PELLARO_PASSWORD")) {
        password = qgetenv("PELLARO_PASSWORD");
    } else {
        return Usage(QStringLiteral("no password: give --password-file F or set PELLARO_PASSWORD"));
    }

    TFtpClient ftp;
    ReplyCapture capture(ctx.workFolder);
    BindFtpClientEvents(ftp, capture, *ctx.messages);
    // With no terminal to re-prompt on, a failed login gives up.
    FixedConnectPrompt prompt(host, port, user, password, 0);
    CliProgress progress;
    RecorderAddress address{host.toLatin1(), port};
    LinkParts link{ftp, prompt, *ctx.messages, progress, address};
    if (!ConnectLogin(link, QStringLiteral("Report: Login")))
        return CliExit::Failed;

    // Classify only: the report command must not write into the download folder.
    capture.Arm(true);
    capture.DeviceReport.clear();
    ftp.Quote(ReportCommand);
    const bool captured = !capture.CaptureReply;
    capture.Disarm();
    if (!captured) {
        ReportFtpError(ftp, *ctx.messages);
        if (ftp.Connected())
            ftp.Quit();
        return CliExit::Failed;
    }
    CliOutBytes(capture.DeviceReport + '\n');
    const bool ixta = capture.ConnectedKind == RecorderType::Ixta;
    CliOut(QStringLiteral("Recorder type: %1 (%2)")
               .arg(capture.ConnectedKind)
               .arg(ixta ? QStringLiteral("Ixta") : QStringLiteral("Other devices")));
    CliOut(QStringLiteral("Fax server: ") +
           (IsFaxServer(capture.DeviceReport) ? QStringLiteral("yes") : QStringLiteral("no")));
    if (ftp.Connected())
        ftp.Quit();
    return CliExit::Ok;
}

const CliRegistration reg("report", "report --host H [--port P] --user U [--password-file F]",
                          "log in, print the recorder's report line and its classification "
                          "(password from F or PELLARO_PASSWORD)",
                          &RunReport);

} // namespace
