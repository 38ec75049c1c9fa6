#include "CliConnection.h"

#include "Unitstring.h"

#include <cstdio>
#include <unistd.h>

int ParseCliConnection(const CliContext& ctx, const QString& command, CliConnection& out)
{
    const auto usage = [&command](const QString& text) {
        CliErr(command + QStringLiteral(": ") + text);
        return CliExit::Usage;
    };
    QString passwordFile;
    bool haveUser = false;
    for (qsizetype i = 0; i < ctx.args.size(); ++i) {
        const QString& a = ctx.args[i];
        if (a == QLatin1String("--password") || a.startsWith(QLatin1String("--password=")))
            return usage(QStringLiteral("the password is never taken from the command line; "
                                        "use --password-file F or the environment variable PELLARO_PASSWORD"));
        const bool known = a == QLatin1String("--host") || a == QLatin1String("--port") ||
                           a == QLatin1String("--user") || a == QLatin1String("--password-file");
        if (!known || i + 1 >= ctx.args.size())
            return usage(QStringLiteral("unknown or incomplete argument ") + a);
        const QString value = ctx.args[++i];
        if (a == QLatin1String("--host")) {
            out.host = value;
        } else if (a == QLatin1String("--port")) {
            bool ok = false;
            out.port = value.toInt(&ok);
            if (!ok || out.port < 1 || out.port > 65535)
                return usage(QStringLiteral("--port needs a number from 1 to 65535"));
        } else if (a == QLatin1String("--user")) {
            out.user = value.toLocal8Bit();
            haveUser = true;
        } else {
            passwordFile = value;
        }
    }
    if (out.host.isEmpty() || !haveUser)
        return usage(QStringLiteral("--host and --user are required"));
    if (!passwordFile.isEmpty()) {
        LineList lines;
        QString error;
        if (!LoadLines(lines, passwordFile, &error)) {
            CliErr(error);
            return CliExit::Failed;
        }
        out.password = lines.isEmpty() ? QByteArray() : lines.first();
    } else if (qEnvironmentVariableIsSet("PELLARO_PASSWORD")) {
        out.password = qgetenv("PELLARO_PASSWORD");
    } else {
        return usage(QStringLiteral("no password: give --password-file F or set PELLARO_PASSWORD"));
    }
    return CliExit::Ok;
}

CliProgress::CliProgress() : m_terminal(::isatty(STDERR_FILENO) == 1) {}

void CliProgress::ShowProgress()
{
    m_shown = true;
    Draw();
}

void CliProgress::SetPosition(int position)
{
    if (position == m_position)
        return;
    m_position = position;
    if (!m_terminal && m_shown)
        CliErr(QStringLiteral("[%1%]").arg(position, 3));
    Draw();
}

void CliProgress::SetText(const QString& text)
{
    m_text = text;
    if (!m_terminal && !text.isEmpty())
        CliErr(text);
    Draw();
}

void CliProgress::HideProgress()
{
    if (m_terminal && m_shown)
        std::fputs("\r\033[K", stderr);
    m_shown = false;
}

void CliProgress::Draw()
{
    if (!m_terminal || !m_shown)
        return;
    const int filled = m_position * 30 / 100;
    const QString bar = QStringLiteral("\r\033[K[%1%2] %3% %4")
                            .arg(QString(filled, QLatin1Char('#')), QString(30 - filled, QLatin1Char(' ')))
                            .arg(m_position, 3)
                            .arg(m_text);
    std::fputs(bar.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}
