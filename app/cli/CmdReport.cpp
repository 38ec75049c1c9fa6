// pellaro-cli report: logs in to a recorder, prints its report and what it is.
#include "CliCommand.h"
#include "CliConnection.h"
#include "ConnectLogin.h"
#include "FtpClient.h"
#include "RecorderRules.h"
#include "ReplyCapture.h"

namespace {

int RunReport(CliContext& ctx)
{
    CliConnection conn;
    if (const int rc = ParseCliConnection(ctx, QStringLiteral("report"), conn); rc != CliExit::Ok)
        return rc;
    const QString& host = conn.host;
    const int port = conn.port;

    TFtpClient ftp;
    ReplyCapture capture(ctx.workFolder);
    BindFtpClientEvents(ftp, capture, *ctx.messages);
    // With no terminal to re-prompt on, a failed login gives up.
    FixedConnectPrompt prompt(host, port, conn.user, conn.password, 0);
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
