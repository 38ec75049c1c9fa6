// pellaro-cli update check: asks the update server whether a newer version has been published.
#include "CliCommand.h"
#include "Updater.h"

namespace {

int RunUpdate(CliContext& ctx)
{
    QStringList args = ctx.args;
    if (args.isEmpty() || args.takeFirst() != QLatin1String("check")) {
        CliErr(QStringLiteral("usage: pellaro-cli update check [--url URL] [--ignore-version]"));
        return CliExit::Usage;
    }
    QString url = UpdateDescriptorURL();
    bool ignoreVersion = false;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == QLatin1String("--url") && !args.isEmpty()) {
            url = args.takeFirst();
        } else if (a == QLatin1String("--ignore-version")) {
            ignoreVersion = true;
        } else {
            CliErr(QStringLiteral("update: unknown argument ") + a);
            return CliExit::Usage;
        }
    }

    TUpdater updater;
    updater.SetURL(url);
    updater.SetUpdateFile(ctx.workFolder + QStringLiteral("uPellaro.ini"));
    updater.SetCurrentVersion(CompiledVersion());
    updater.SetIgnoreCurrentVersion(ignoreVersion);
    CliOut(QStringLiteral("Current version ") + updater.GetCurrentVersion());
    if (!updater.CheckUpdate()) {
        CliOut(QStringLiteral("There is no update available"));
        return CliExit::Ok;
    }
    CliOut(QStringLiteral("There is an Update available from v") + updater.GetCurrentVersion() +
           QStringLiteral(" to v") + updater.LatestVersion());
    for (int i = 0; i < updater.GetDescriptionCount(); ++i)
        CliOut(QStringLiteral("  ") + updater.GetDescription(i));
    for (const tItemUpdate& item : *updater.Items())
        CliOut(QStringLiteral("  file ") + item.Target + QStringLiteral(" from ") + item.Source +
               (item.UseTemp ? QStringLiteral(" (placed by the copier)") : QString()));
    return CliExit::Ok;
}

const CliRegistration reg("update", "update check [--url URL] [--ignore-version]",
                          "ask the update server for a newer version (nothing is downloaded)", &RunUpdate);

} // namespace
