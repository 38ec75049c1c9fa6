// pellaro-cli: headless commands over the same logic as the window program.
#include "CliCommand.h"
#include "WorkFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QMap>

#include <cstdio>

namespace {

struct CommandEntry
{
    const char* usage;
    const char* summary;
    CliCommandFn fn;
};

QMap<QString, CommandEntry>& Registry()
{
    static QMap<QString, CommandEntry> registry;
    return registry;
}

// Messages go to stderr; questions are answered from --yes / --no.
class CliMessageService final : public IMessageService
{
public:
    explicit CliMessageService(int answer) : m_answer(answer) {}

    void ShowMessage(const QString& text) override { CliErr(text); }

    MsgResult Ask(const QString& text, const QString& caption, MsgIcon, MsgButtons buttons) override
    {
        const bool positive = m_answer >= 0; // neither flag: the box's default button
        MsgResult r = MsgResult::Ok;
        switch (buttons) {
        case MsgButtons::Ok: r = MsgResult::Ok; break;
        case MsgButtons::OkCancel: r = positive ? MsgResult::Ok : MsgResult::Cancel; break;
        case MsgButtons::YesNo: r = positive ? MsgResult::Yes : MsgResult::No; break;
        case MsgButtons::YesNoCancel: r = positive ? MsgResult::Yes : MsgResult::No; break;
        }
        static const char* names[] = {"OK", "Cancel", "Yes", "No"};
        CliErr(caption + QStringLiteral(": ") + text + QStringLiteral(" -> ") +
               QLatin1String(names[static_cast<int>(r)]));
        return r;
    }

    void ShowError(const QString& text) override { CliErr(text); }

private:
    int m_answer;
};

void PrintUsage(FILE* to)
{
    QString text = QStringLiteral("usage: pellaro-cli [--workfolder DIR] [--yes|--no] COMMAND [ARGS]\n"
                                  "       pellaro-cli --help | --version\n\ncommands:\n");
    for (auto it = Registry().cbegin(); it != Registry().cend(); ++it)
        text += QStringLiteral("  %1\n      %2\n").arg(QLatin1String(it->usage), QLatin1String(it->summary));
    text += QStringLiteral("\n--workfolder DIR  use DIR as the work folder (default: the program's own)\n"
                           "--yes / --no      answer the questions of load and save\n");
    std::fputs(text.toLocal8Bit().constData(), to);
}

} // namespace

CliRegistration::CliRegistration(const char* name, const char* usage, const char* summary, CliCommandFn fn)
{
    Registry().insert(QLatin1String(name), CommandEntry{usage, summary, fn});
}

void CliErr(const QString& text)
{
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void CliOut(const QString& text)
{
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void CliOutBytes(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pellaro-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PELLARO_VERSION_STRING));

    QStringList args = QCoreApplication::arguments().mid(1);
    QString workFolder;
    int answer = 0;
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString opt = args.takeFirst();
        if (opt == QLatin1String("--help")) {
            PrintUsage(stdout);
            return CliExit::Ok;
        }
        if (opt == QLatin1String("--version")) {
            CliOut(QStringLiteral("pellaro-cli " PELLARO_VERSION_STRING));
            return CliExit::Ok;
        }
        if (opt == QLatin1String("--yes")) {
            answer = 1;
        } else if (opt == QLatin1String("--no")) {
            answer = -1;
        } else if (opt == QLatin1String("--workfolder")) {
            if (args.isEmpty()) {
                CliErr(QStringLiteral("--workfolder needs a folder"));
                return CliExit::Usage;
            }
            workFolder = QDir(args.takeFirst()).absolutePath() + QLatin1Char('/');
        } else {
            CliErr(QStringLiteral("unknown option ") + opt);
            PrintUsage(stderr);
            return CliExit::Usage;
        }
    }
    if (args.isEmpty()) {
        PrintUsage(stderr);
        return CliExit::Usage;
    }
    QString name = args.takeFirst();
    // Two-word commands ("message import") are registered under both words.
    if (!args.isEmpty() && Registry().contains(name + QLatin1Char(' ') + args.first()))
        name += QLatin1Char(' ') + args.takeFirst();
    const auto it = Registry().constFind(name);
    if (it == Registry().cend()) {
        CliErr(QStringLiteral("unknown command ") + name);
        PrintUsage(stderr);
        return CliExit::Usage;
    }

    try {
        if (workFolder.isEmpty()) {
            workFolder = ResolveWorkFolder();
        } else if (!QDir().mkpath(workFolder)) {
            CliErr(QStringLiteral("Cannot create settings directory ") + workFolder.chopped(1));
            return CliExit::Failed;
        }
    } catch (const WorkFolderError& e) {
        CliErr(QString::fromLocal8Bit(e.what()));
        return CliExit::Failed;
    }
    EnsureSubfolders(workFolder);

    CliMessageService messages(answer);
    CliContext ctx{workFolder, args, answer, &messages};
    return it->fn(ctx);
}
