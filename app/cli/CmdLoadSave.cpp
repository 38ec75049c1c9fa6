// pellaro-cli load / save: the window's "Load from Sonvault" and "Save to Sonvault" without a window.
#include "CliCommand.h"
#include "CliConnection.h"
#include "ConfigSnapshot.h"
#include "ConnectLogin.h"
#include "FtpClient.h"
#include "LoadSave.h"
#include "ReplyCapture.h"
#include "WorkFolder.h"

namespace {

enum class Direction { Load, Save };

int Run(CliContext& ctx, Direction direction)
{
    const QString command = direction == Direction::Load ? QStringLiteral("load") : QStringLiteral("save");
    CliConnection conn;
    if (const int rc = ParseCliConnection(ctx, command, conn); rc != CliExit::Ok)
        return rc;

    // As the program does at start-up: the local copy first.
    ConfigSnapshot snapshot;
    if (!LoadSnapshot(snapshot, CurrentFolderOf(ctx.workFolder), *ctx.messages))
        return CliExit::Failed;
    // The edits of the program are not known here; a save sends the local copy as it is.
    snapshot.Modified = direction == Direction::Save;

    TFtpClient ftp;
    ReplyCapture capture(ctx.workFolder);
    BindFtpClientEvents(ftp, capture, *ctx.messages);
    // One confirmation: the procedure's first prompt. A failed login then gives up.
    FixedConnectPrompt prompt(conn.host, conn.port, conn.user, conn.password, 1);
    CliProgress progress;
    RecorderAddress address{conn.host.toLatin1(), conn.port};
    TransferParts parts{snapshot, ctx.workFolder, ftp, capture, prompt, *ctx.messages, progress, address, {}, {}};

    bool ok;
    if (direction == Direction::Load)
        ok = TLoadProcedure(parts).ButtonUpdateLocalClick();
    else
        ok = TSaveProcedure(parts).ButtonUpdateFaxServerClick();
    CliErr(command + (ok ? QStringLiteral(": done") : QStringLiteral(": failed")));
    return ok ? CliExit::Ok : CliExit::Failed;
}

int RunLoad(CliContext& ctx)
{
    return Run(ctx, Direction::Load);
}

int RunSave(CliContext& ctx)
{
    return Run(ctx, Direction::Save);
}

const CliRegistration regLoad("load", "[--yes|--no] load --host H [--port P] --user U [--password-file F]",
                              "replace the local copy with the recorder's configuration", &RunLoad);
const CliRegistration regSave("save", "[--yes|--no] save --host H [--port P] --user U [--password-file F]",
                              "send the local copy to the recorder (--yes/--no answer its questions)", &RunSave);

} // namespace
