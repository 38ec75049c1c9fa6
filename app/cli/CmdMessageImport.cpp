// pellaro-cli message import / info / delete: the notification message of the current folder.
#include "AudioImport.h"
#include "CliCommand.h"
#include "ConfigSnapshot.h"
#include "MessageFile.h"
#include "RecorderRules.h"
#include "Unitstring.h"
#include "WaveFormat.h"
#include "WorkFolder.h"

#include <QFile>

namespace {

// The law the recorder's stored report selects; a-law when it selects none.
std::uint16_t LawOfReport(const QString& currentFolder)
{
    LineList lines;
    const QString path = currentFolder + ConfigFiles::Report;
    if (QFile::exists(path) && LoadLines(lines, path) && !lines.isEmpty() &&
        LawFromReport(lines.first()) == ReportLaw::MuLaw)
        return WaveTag::MuLaw;
    return WaveTag::ALaw;
}

// The message file of a folder as the configuration reads it: the long name wins.
QString PresentMessage(const QString& currentFolder)
{
    if (QFile::exists(currentFolder + ConfigFiles::LongMessage))
        return ConfigFiles::LongMessage;
    if (QFile::exists(currentFolder + ConfigFiles::ShortMessage))
        return ConfigFiles::ShortMessage;
    return {};
}

int RunMessageImport(CliContext& ctx)
{
    QString file;
    int tag = 0;
    for (int i = 0; i < ctx.args.size(); ++i) {
        const QString& a = ctx.args.at(i);
        if (a == QLatin1String("--law")) {
            if (i + 1 >= ctx.args.size()) {
                CliErr(QStringLiteral("--law needs alaw or mulaw"));
                return CliExit::Usage;
            }
            const QString law = ctx.args.at(++i).toLower();
            if (law == QLatin1String("alaw") || law == QLatin1String("a-law")) {
                tag = WaveTag::ALaw;
            } else if (law == QLatin1String("mulaw") || law == QLatin1String("mu-law") ||
                       law == QLatin1String("ulaw")) {
                tag = WaveTag::MuLaw;
            } else {
                CliErr(QStringLiteral("unknown law %1 (use alaw or mulaw)").arg(ctx.args.at(i)));
                return CliExit::Usage;
            }
        } else if (file.isEmpty() && !a.startsWith(QLatin1String("--"))) {
            file = a;
        } else {
            CliErr(QStringLiteral("unexpected argument %1").arg(a));
            return CliExit::Usage;
        }
    }
    if (file.isEmpty()) {
        CliErr(QStringLiteral("usage: message import FILE [--law alaw|mulaw]"));
        return CliExit::Usage;
    }
    const QString current = CurrentFolderOf(ctx.workFolder);
    if (tag == 0)
        tag = LawOfReport(current);

    const QString recording = ctx.workFolder + ConfigFiles::Recording;
    const AudioImportResult r = ImportAudioFile(file, recording, static_cast<std::uint16_t>(tag), *ctx.messages);
    if (!r.ok) {
        CliErr(r.errorText + QStringLiteral(". Nothing was changed."));
        return CliExit::Failed;
    }
    const MessagePlacement p = PlaceMessageFile(recording, current, r.seconds);
    if (!p.copied) {
        CliErr(QStringLiteral("Cannot place the message: ") + p.errorText);
        return CliExit::Failed;
    }
    CliOut(QStringLiteral("%1: %2, %3 s (%4 Hz, %5 channel(s) read)")
               .arg(p.name, LawName(static_cast<std::uint16_t>(tag)))
               .arg(r.seconds)
               .arg(r.sourceRate)
               .arg(r.sourceChannels));
    if (!p.otherRemoved) {
        CliErr(QStringLiteral("Cannot remove the other message file: ") + p.errorText);
        return CliExit::Failed;
    }
    return CliExit::Ok;
}

int RunMessageInfo(CliContext& ctx)
{
    if (!ctx.args.isEmpty()) {
        CliErr(QStringLiteral("usage: message info"));
        return CliExit::Usage;
    }
    const QString current = CurrentFolderOf(ctx.workFolder);
    const QString name = PresentMessage(current);
    if (name.isEmpty()) {
        CliErr(QStringLiteral("There is no notification message in %1").arg(current));
        return CliExit::Failed;
    }
    const MessageFileInfo info = ReadMessageFileInfo(current + name);
    if (!info.valid) {
        CliErr(QStringLiteral("Cannot read %1: %2").arg(current + name, info.errorText));
        return CliExit::Failed;
    }
    CliOut(QStringLiteral("File:     %1").arg(name));
    CliOut(QStringLiteral("Law:      %1").arg(LawName(info.format.wFormatTag)));
    CliOut(QStringLiteral("Length:   %1 s").arg(info.seconds, 0, 'f', 2));
    return CliExit::Ok;
}

int RunMessageDelete(CliContext& ctx)
{
    if (!ctx.args.isEmpty()) {
        CliErr(QStringLiteral("usage: message delete"));
        return CliExit::Usage;
    }
    const QString current = CurrentFolderOf(ctx.workFolder);
    const QString name = PresentMessage(current);
    if (name.isEmpty()) {
        CliErr(QStringLiteral("There is no notification message in %1").arg(current));
        return CliExit::Failed;
    }
    if (ctx.messages->Ask(QStringLiteral("Delete the audio message?"), ApplicationTitle(), MsgIcon::Question,
                          MsgButtons::OkCancel) != MsgResult::Ok)
        return CliExit::Ok; // cancelled: nothing changed
    // Both names go, so that no message is left for the next save to upload.
    bool ok = true;
    for (const QString& n : {ConfigFiles::LongMessage, ConfigFiles::ShortMessage}) {
        QFile f(current + n);
        if (f.exists() && !f.remove()) {
            CliErr(QStringLiteral("Cannot delete %1: %2").arg(current + n, f.errorString()));
            ok = false;
        }
    }
    if (ok)
        CliOut(QStringLiteral("Deleted %1").arg(name));
    return ok ? CliExit::Ok : CliExit::Failed;
}

const CliRegistration regImport("message import", "message import FILE [--law alaw|mulaw]",
                                "encode an audio file (WAV, FLAC, Ogg...) as the notification message",
                                &RunMessageImport);
const CliRegistration regInfo("message info", "message info", "show the notification message's file, law and length",
                              &RunMessageInfo);
const CliRegistration regDelete("message delete", "message delete", "delete the notification message (asks first)",
                                &RunMessageDelete);

} // namespace
