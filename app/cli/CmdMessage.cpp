// pellaro-cli message SUBCOMMAND: the notification message.
// Each subcommand is one row of the table below; add new ones there.
#include "CliCommand.h"

#include "ACMWaveOut.h"
#include "ConfigSnapshot.h"
#include "SoundSystem.h"
#include "WorkFolder.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

namespace {

// The message file of the current folder as the configuration reads it (the long name
// wins when both are there); empty when there is none.
QString CurrentMessage(const QString& currentFolder)
{
    for (const QString& name : {ConfigFiles::LongMessage, ConfigFiles::ShortMessage}) {
        if (QFileInfo(currentFolder + name).isFile())
            return currentFolder + name;
    }
    return {};
}

// play [FILE]: plays a wave file, or without one the current folder's message, through
// the decoding player as the message tab does (8000 samples per second, the default
// device) on the selected back-end (PELLARO_AUDIO=virtual for the virtual one), printing
// "<position> / <total>" once a second as the tab shows it, until the end.
int RunPlay(CliContext& ctx, const QStringList& args)
{
    if (args.size() > 1) {
        CliErr(QStringLiteral("usage: pellaro-cli message play [FILE]"));
        return CliExit::Usage;
    }
    QString file;
    if (args.isEmpty()) {
        const QString current = CurrentFolderOf(ctx.workFolder);
        file = CurrentMessage(current);
        if (file.isEmpty()) {
            CliErr(QStringLiteral("There is no notification message in ") + current);
            return CliExit::Failed;
        }
    } else {
        file = QFileInfo(args.first()).absoluteFilePath();
        if (!QFileInfo(file).isFile()) {
            CliErr(file + QStringLiteral(" does not exist"));
            return CliExit::Failed;
        }
    }
    const std::unique_ptr<ISoundSystem> sound = CreateSoundSystem();
    TACMWaveOut player(nullptr, *sound, *ctx.messages);
    player.SetSamplesPerSec(8000);
    QEventLoop loop;
    bool ended = false;
    player.OnEnd = [&](QObject*) {
        ended = true;
        loop.quit();
    };
    if (!player.Open(file, -1) || !player.Play()) {
        player.Close();
        return CliExit::Failed;
    }
    auto show = [&] {
        if (!player.GetPlaying())
            return;
        const std::uint32_t total = static_cast<std::uint32_t>(player.GetTimeTotal() * 0.001 + 0.5);
        CliOut(QString::number(player.GetTimePosition()) + QStringLiteral(" / ") + QString::number(total));
    };
    show();
    QTimer tick;
    tick.setInterval(1000);
    QObject::connect(&tick, &QTimer::timeout, &loop, show);
    tick.start();
    if (!ended)
        loop.exec();
    return CliExit::Ok;
}

struct MessageSubcommand
{
    const char* name;
    const char* usage;
    int (*fn)(CliContext&, const QStringList&);
};

const MessageSubcommand kSubcommands[] = {
    {"play", "message play [FILE]", &RunPlay},
};

int RunMessage(CliContext& ctx)
{
    if (!ctx.args.isEmpty()) {
        const QString name = ctx.args.first();
        for (const MessageSubcommand& sub : kSubcommands)
            if (name == QLatin1String(sub.name))
                return sub.fn(ctx, ctx.args.mid(1));
        CliErr(QStringLiteral("message: unknown subcommand ") + name);
    }
    QString usage = QStringLiteral("usage:");
    for (const MessageSubcommand& sub : kSubcommands)
        usage += QStringLiteral("\n  pellaro-cli ") + QLatin1String(sub.usage);
    CliErr(usage);
    return CliExit::Usage;
}

const CliRegistration reg("message", "message play [FILE]",
                          "the notification message: play it, or a wave file (PELLARO_AUDIO=virtual: no sound card)",
                          &RunMessage);

} // namespace
