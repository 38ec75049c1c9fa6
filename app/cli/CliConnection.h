#pragma once

#include "CliCommand.h"
#include "ProgressSink.h"

#include <QByteArray>
#include <QString>

// The connection options shared by the commands that talk to a recorder:
//   --host H [--port P] --user U [--password-file F]
// The password comes from F (its first line) or the environment variable PELLARO_PASSWORD,
// never from the command line.
struct CliConnection
{
    QString host;
    int port = 21;
    QByteArray user;
    QByteArray password;
};

inline constexpr const char* CliConnectionUsage = "--host H [--port P] --user U [--password-file F]";

// Parses ctx.args; returns CliExit::Ok or the exit code to end with (the reason printed,
// prefixed with command).
int ParseCliConnection(const CliContext& ctx, const QString& command, CliConnection& out);

// Progress on stderr: a redrawn bar on a terminal, plain lines otherwise.
class CliProgress final : public IProgressSink
{
public:
    CliProgress();
    void ShowProgress() override;
    void SetPosition(int position) override;
    void SetText(const QString& text) override;
    void HideProgress() override;

private:
    void Draw();
    bool m_terminal;
    bool m_shown = false;
    int m_position = 0;
    QString m_text;
};
