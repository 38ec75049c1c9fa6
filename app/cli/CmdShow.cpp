// pellaro-cli show: the local configuration as LoadSnapshot reads it.
#include "CliCommand.h"
#include "ConfigSnapshot.h"
#include "WorkFolder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString Text(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}

QByteArray SnapshotJson(const ConfigSnapshot& s)
{
    QJsonArray accounts;
    for (const tFTPInfo& a : s.Accounts)
        accounts.append(QJsonObject{{QStringLiteral("name"), Text(a.Name)},
                                    {QStringLiteral("password"), Text(a.Password)},
                                    {QStringLiteral("number"), Text(a.Number)}});
    QJsonArray numbers;
    for (const QByteArray& n : s.Numbers)
        numbers.append(Text(n));
    const QJsonObject root{{QStringLiteral("deviceReport"), Text(s.DeviceReport)},
                           {QStringLiteral("recorderType"), s.RecorderType},
                           {QStringLiteral("listMode"), s.ListMode},
                           {QStringLiteral("messageFile"), s.MessageFile},
                           {QStringLiteral("messagePresent"), s.MessagePresent},
                           {QStringLiteral("messageSeconds"), s.MessageSeconds},
                           {QStringLiteral("accounts"), accounts},
                           {QStringLiteral("numbers"), numbers}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QString SnapshotTable(const ConfigSnapshot& s)
{
    static const char* modes[] = {"None", "Black list", "White list"};
    QString out;
    out += QStringLiteral("Device report:  %1\n").arg(Text(s.DeviceReport));
    out += QStringLiteral("Recorder type:  %1\n").arg(s.RecorderType == 0 ? QStringLiteral("Ixta")
                                                                         : QStringLiteral("Other devices"));
    out += QStringLiteral("Number list:    %1\n")
               .arg(s.ListMode >= 0 && s.ListMode <= 2 ? QLatin1String(modes[s.ListMode])
                                                       : QString::number(s.ListMode));
    out += QStringLiteral("Message:        %1\n")
               .arg(s.MessagePresent ? s.MessageFile : QStringLiteral("none"));
    const QString numberCaption = s.RecorderType == 0 ? QStringLiteral("Line") : QStringLiteral("Telephone number");
    out += QStringLiteral("\nFTP accounts (%1):\n").arg(s.Accounts.size());
    int nameWidth = 4;
    for (const tFTPInfo& a : s.Accounts)
        nameWidth = std::max(nameWidth, static_cast<int>(a.Name.size()));
    out += QStringLiteral("  %1  %2\n").arg(QStringLiteral("Name"), -nameWidth).arg(numberCaption);
    for (const tFTPInfo& a : s.Accounts)
        out += QStringLiteral("  %1  %2\n").arg(Text(a.Name), -nameWidth).arg(Text(a.Number));
    out += QStringLiteral("\nNumbers (%1):\n").arg(s.Numbers.size());
    for (const QByteArray& n : s.Numbers)
        out += QStringLiteral("  %1\n").arg(Text(n));
    return out;
}

int RunShow(CliContext& ctx)
{
    bool json = false;
    for (const QString& a : ctx.args) {
        if (a == QLatin1String("--json")) {
            json = true;
        } else {
            CliErr(QStringLiteral("show: unknown argument ") + a);
            return CliExit::Usage;
        }
    }
    ConfigSnapshot snap;
    if (!LoadSnapshot(snap, CurrentFolderOf(ctx.workFolder), *ctx.messages))
        return CliExit::Failed;
    if (json)
        CliOutBytes(SnapshotJson(snap));
    else
        CliOutBytes(SnapshotTable(snap).toLocal8Bit());
    return CliExit::Ok;
}

const CliRegistration reg("show", "show [--json]", "print the local configuration (the current folder)", &RunShow);

} // namespace
