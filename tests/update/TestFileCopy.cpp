// FileCopy, the update copier, run as a process: it waits for the program's process, places
// the files from the UpdateFolder into the program's folder (all or nothing) and restarts it.
// Everything lies in a temporary root: data/ is XDG_DATA_HOME (so the UpdateFolder is
// data/Marbeck/Updates/), prog/ the program's folder with a copy of the stand-in program.
#include "TestFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QFileDevice::Permissions Plain =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
const QFileDevice::Permissions Executable =
    Plain | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;

struct CopierRun
{
    int exitCode = -1; // -1: crashed or still running at the deadline
    QString err;
};

} // namespace

class TestFileCopy : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void placesUpdateAndRestarts();
    void reusedProcessNumberCountsAsEnded();
    void refusedUpdateChangesNothing_data();
    void refusedUpdateChangesNothing();
    void badArguments_data();
    void badArguments();
    void givesUpWhileProgramRuns();

private:
    QString Root() const { return m_root->path() + QLatin1Char('/'); }
    QString Updates() const { return Root() + QStringLiteral("data/Marbeck/Updates/"); }
    QString Prog() const { return Root() + QStringLiteral("prog/"); }
    QString Program() const { return Prog() + QStringLiteral("Pellaro"); }
    QString RestartLog() const { return Root() + QStringLiteral("restarted.txt"); }
    QString CopierLog() const { return ReadTestFile(Updates() + QStringLiteral("FileCopy.log")); }

    bool WriteFile(const QString& path, const QByteArray& data, QFileDevice::Permissions perms = Plain);
    qint64 StartProgram(); // the running program the copier waits for
    QStringList Arguments(qint64 pid, const QStringList& targets) const;
    CopierRun RunCopier(const QStringList& args, int waitMs, bool endProgram);
    // Every entry below folder: its kind, permissions and content.
    QMap<QString, QString> Snapshot(const QString& folder) const;

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<QProcess> m_program;
    QByteArray m_standIn; // the stand-in program's bytes
};

void TestFileCopy::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    QVERIFY(QDir().mkpath(Updates()) && QDir().mkpath(Prog()));
    m_standIn = ReadTestFile(BinDir() + QStringLiteral("/update-program-standin"));
    QVERIFY(!m_standIn.isEmpty());
    // The installed program: the stand-in, an executable helper and a plain data file.
    QVERIFY(WriteFile(Program(), m_standIn, Executable));
    QVERIFY(WriteFile(Prog() + QStringLiteral("helper"), "#!/bin/sh\necho old\n", Executable));
    QVERIFY(WriteFile(Prog() + QStringLiteral("Pellaro.html"), "old help"));
}

void TestFileCopy::cleanup()
{
    if (m_program) {
        m_program->kill();
        m_program->waitForFinished(5000);
        m_program.reset();
    }
    m_root.reset();
}

bool TestFileCopy::WriteFile(const QString& path, const QByteArray& data, QFileDevice::Permissions perms)
{
    return WriteTestFile(path, data) && QFile::setPermissions(path, perms);
}

qint64 TestFileCopy::StartProgram()
{
    m_program = std::make_unique<QProcess>();
    m_program->start(Program(), {QStringLiteral("--linger")});
    if (!m_program->waitForStarted(5000))
        return 0;
    return m_program->processId();
}

QStringList TestFileCopy::Arguments(qint64 pid, const QStringList& targets) const
{
    // As TUpdater passes them: the program's canonical path, then one -f per target.
    QStringList args{QStringLiteral("-id"), QString::number(pid), QStringLiteral("-p"),
                     QFileInfo(Program()).canonicalFilePath() + QStringLiteral(" -u")};
    for (const QString& t : targets)
        args << QStringLiteral("-f") << t;
    return args;
}

CopierRun TestFileCopy::RunCopier(const QStringList& args, int waitMs, bool endProgram)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), Root() + QStringLiteral("data"));
    env.insert(QStringLiteral("PELLARO_FILECOPY_WAIT_MS"), QString::number(waitMs));
    env.insert(QStringLiteral("PELLARO_STANDIN_LOG"), RestartLog());
    QProcess copier;
    copier.setProcessEnvironment(env);
    copier.start(BinDir() + QStringLiteral("/FileCopy"), args);
    CopierRun run;
    if (!copier.waitForStarted(5000))
        return run;
    if (endProgram && m_program) {
        m_program->kill();
        m_program->waitForFinished(5000); // collected, so not left as a zombie
    }
    if (copier.waitForFinished(30000) && copier.exitStatus() == QProcess::NormalExit)
        run.exitCode = copier.exitCode();
    else
        copier.kill();
    run.err = QString::fromLocal8Bit(copier.readAllStandardError());
    return run;
}

QMap<QString, QString> TestFileCopy::Snapshot(const QString& folder) const
{
    QMap<QString, QString> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString name = info.absoluteFilePath().mid(folder.size());
        if (info.isSymLink())
            entries[name] = QStringLiteral("link to ") + info.symLinkTarget();
        else if (info.isDir())
            entries[name] = QStringLiteral("folder");
        else
            entries[name] = QString::number(int(info.permissions()), 16) + QLatin1Char(' ') +
                            QString::fromLatin1(ReadTestFile(info.absoluteFilePath()).toBase64());
    }
    return entries;
}

// The program file (with .temp), an executable helper (with .temp), the help file
// (downloaded straight to its target) and a new file in a new subfolder.
void TestFileCopy::placesUpdateAndRestarts()
{
    const QByteArray newProgram = m_standIn + "\n#new version"; // still runs: trailing bytes
    QVERIFY(WriteFile(Updates() + QStringLiteral("Pellaro.temp"), newProgram));
    QVERIFY(WriteFile(Updates() + QStringLiteral("helper.temp"), "#!/bin/sh\necho new\n"));
    QVERIFY(WriteFile(Updates() + QStringLiteral("Pellaro.html"), "new help"));
    QVERIFY(WriteFile(Updates() + QStringLiteral("docs/extra.txt.temp"), "extra"));
    const QStringList targets{Updates() + QStringLiteral("Pellaro"), Updates() + QStringLiteral("helper"),
                              Updates() + QStringLiteral("Pellaro.html"), Updates() + QStringLiteral("docs/extra.txt")};

    const qint64 pid = StartProgram();
    QVERIFY(pid > 0);
    const CopierRun run = RunCopier(Arguments(pid, targets), 10000, true);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));

    QCOMPARE(ReadTestFile(Program()), newProgram);
    QCOMPARE(QFileInfo(Program()).permissions() & Executable, Executable);
    QCOMPARE(ReadTestFile(Prog() + QStringLiteral("helper")), QByteArray("#!/bin/sh\necho new\n"));
    QCOMPARE(QFileInfo(Prog() + QStringLiteral("helper")).permissions() & Executable, Executable);
    QCOMPARE(ReadTestFile(Prog() + QStringLiteral("Pellaro.html")), QByteArray("new help"));
    QCOMPARE(QFileInfo(Prog() + QStringLiteral("Pellaro.html")).permissions() & Executable, Plain);
    QCOMPARE(ReadTestFile(Prog() + QStringLiteral("docs/extra.txt")), QByteArray("extra"));
    // Nothing left beside the placed files; the consumed .temp files are gone, the rest stays.
    QCOMPARE(FilesIn(Prog()), (QStringList{"Pellaro", "Pellaro.html", "helper"}));
    QCOMPARE(FilesIn(Updates()), (QStringList{"FileCopy.log", "Pellaro.html"}));
    QCOMPARE(FilesIn(Updates() + QStringLiteral("docs")), QStringList());

    // The new program was started with -u.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(RestartLog()), 10000);
    QCOMPARE(ReadTestFile(RestartLog()), QByteArray("-u\n"));
    const QString log = CopierLog();
    QVERIFY2(log.contains(QStringLiteral("placed ") + Updates() + QStringLiteral("Pellaro.temp as ") + Prog() +
                          QStringLiteral("Pellaro")),
             qPrintable(log));
    QVERIFY2(log.contains(QStringLiteral("the update is installed")), qPrintable(log));
}

// A process number that now belongs to another program (here: this test) means the program has ended.
void TestFileCopy::reusedProcessNumberCountsAsEnded()
{
    QVERIFY(WriteFile(Updates() + QStringLiteral("Pellaro.html.temp"), "new help"));
    const CopierRun run = RunCopier(
        Arguments(QCoreApplication::applicationPid(), {Updates() + QStringLiteral("Pellaro.html")}), 10000, false);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(ReadTestFile(Prog() + QStringLiteral("Pellaro.html")), QByteArray("new help"));
    QVERIFY2(CopierLog().contains(QStringLiteral("now runs another program")), qPrintable(CopierLog()));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(RestartLog()), 10000);
}

// Each row: entries made before the run ("file:" path=content, "folder:" path, "link:" path=target,
// paths relative to the root), the targets (relative to the root) and a line the log must hold
// (ROOT/ stands for the root).
// The help file's update is always valid and comes first, so a later failure has to undo it.
void TestFileCopy::refusedUpdateChangesNothing_data()
{
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QStringList>("targets");
    QTest::addColumn<QString>("logLine");
    const QString u = QStringLiteral("data/Marbeck/Updates/");

    QTest::newRow("target outside the UpdateFolder")
        << QStringList{"file:elsewhere/x.temp=stray"} << QStringList{"elsewhere/x"}
        << QStringLiteral("elsewhere/x: it does not lie inside the update folder");
    QTest::newRow("target with a .. segment") << QStringList{"file:data/x.temp=stray"} << QStringList{u + "sub/../../x"}
                                              << QStringLiteral("it does not lie inside the update folder");
    QTest::newRow("missing data file") << QStringList{} << QStringList{u + "gone.bin"}
                                       << "error: no data for ROOT/" + u + "gone.bin: neither ROOT/" + u +
                                              "gone.bin.temp nor ROOT/" + u + "gone.bin exists";
    QTest::newRow("empty data file (a download that did not arrive)")
        << QStringList{"file:" + u + "helper.temp="} << QStringList{u + "helper"} << QStringLiteral("is empty");
    QTest::newRow("link above a missing subfolder leads out")
        << QStringList{"folder:elsewhere", "link:prog/out=elsewhere", "file:" + u + "out/deeper/new.txt.temp=x"}
        << QStringList{u + "out/deeper/new.txt"} << QStringLiteral("leads out of the program folder");
    QTest::newRow("destination that cannot be replaced (a folder): placed files are undone")
        << QStringList{"folder:prog/folder", "file:prog/folder/keep=k", "file:" + u + "folder.temp=data"}
        << QStringList{u + "folder"} << QStringLiteral("nothing was changed in the program folder");
}

void TestFileCopy::refusedUpdateChangesNothing()
{
    QFETCH(QStringList, setup);
    QFETCH(QStringList, targets);
    QFETCH(QString, logLine);
    logLine.replace(QStringLiteral("ROOT/"), Root());
    for (const QString& entry : setup) {
        const qsizetype colon = entry.indexOf(QLatin1Char(':'));
        const QString kind = entry.left(colon);
        const QString rest = entry.mid(colon + 1);
        const QString path = Root() + rest.section(QLatin1Char('='), 0, 0);
        const QString value = rest.section(QLatin1Char('='), 1);
        if (kind == QLatin1String("file"))
            QVERIFY(WriteFile(path, value.toUtf8()));
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(path));
        else
            QVERIFY(QFile::link(Root() + value, path));
    }
    QVERIFY(WriteFile(Updates() + QStringLiteral("Pellaro.html.temp"), "new help"));
    QStringList absolute{Updates() + QStringLiteral("Pellaro.html")};
    for (const QString& t : targets)
        absolute << Root() + t;
    const auto progBefore = Snapshot(Prog());
    const auto elsewhereBefore = Snapshot(Root() + QStringLiteral("elsewhere/"));
    const auto updatesBefore = Snapshot(Updates());

    const qint64 pid = StartProgram();
    QVERIFY(pid > 0);
    const CopierRun run = RunCopier(Arguments(pid, absolute), 10000, true);
    QVERIFY2(run.exitCode == 1, qPrintable(run.err));

    QCOMPARE(Snapshot(Prog()), progBefore);
    QCOMPARE(Snapshot(Root() + QStringLiteral("elsewhere/")), elsewhereBefore);
    auto updatesAfter = Snapshot(Updates());
    QVERIFY(updatesAfter.remove(QStringLiteral("FileCopy.log")) == 1);
    QCOMPARE(updatesAfter, updatesBefore); // the downloads stay for another try
    const QString log = CopierLog();
    QVERIFY2(log.contains(logLine), qPrintable(log));
    QVERIFY2(log.contains(QStringLiteral("the update was not installed")), qPrintable(log));
    QVERIFY2(run.err.contains(logLine), qPrintable(run.err));
    // The program comes back unchanged.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(RestartLog()), 10000);
    QCOMPARE(ReadTestFile(RestartLog()), QByteArray("-u\n"));
}

// PID and PROG stand for the running program's number and path.
void TestFileCopy::badArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QString f = QStringLiteral("TARGET");
    QTest::newRow("none") << QStringList{} << QStringLiteral("no arguments");
    QTest::newRow("-p first") << QStringList{"-p", "PROG -u", "-id", "PID", "-f", f}
                              << QStringLiteral("the first argument must be -id, not \"-p\"");
    QTest::newRow("process number not a number") << QStringList{"-id", "12x", "-p", "PROG -u", "-f", f}
                                                 << QStringLiteral("positive process number, not \"12x\"");
    QTest::newRow("process number 0") << QStringList{"-id", "0", "-p", "PROG -u", "-f", f}
                                      << QStringLiteral("positive process number");
    QTest::newRow("-u as an argument of its own")
        << QStringList{"-id", "PID", "-p", "PROG", "-u", "-f", f} << QStringLiteral("followed by \" -u\"");
    QTest::newRow("relative program path") << QStringList{"-id", "PID", "-p", "Pellaro -u", "-f", f}
                                           << QStringLiteral("absolute path of the program file");
    QTest::newRow("no file") << QStringList{"-id", "PID", "-p", "PROG -u"} << QStringLiteral("no file given");
    QTest::newRow("-f without a path") << QStringList{"-id", "PID", "-p", "PROG -u", "-f"}
                                       << QStringLiteral("-f needs a file path");
    QTest::newRow("unknown option") << QStringList{"-id", "PID", "-p", "PROG -u", "-f", f, "-x", "y"}
                                    << QStringLiteral("expected -f, found \"-x\"");
}

void TestFileCopy::badArguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QVERIFY(WriteFile(Updates() + QStringLiteral("Pellaro.html.temp"), "new help"));
    const qint64 pid = StartProgram();
    QVERIFY(pid > 0);
    for (QString& a : args) {
        a.replace(QStringLiteral("PID"), QString::number(pid));
        a.replace(QStringLiteral("PROG"), Program());
        a.replace(QStringLiteral("TARGET"), Updates() + QStringLiteral("Pellaro.html"));
    }
    const auto before = Snapshot(Prog());
    const CopierRun run = RunCopier(args, 10000, false); // ends at once, without waiting
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(QStringLiteral("error: bad arguments: ")), qPrintable(run.err));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("usage: FileCopy -id")), qPrintable(run.err));
    QVERIFY2(CopierLog().contains(message), qPrintable(CopierLog()));
    QCOMPARE(Snapshot(Prog()), before);
    QVERIFY(QFile::exists(Updates() + QStringLiteral("Pellaro.html.temp")));
    QVERIFY(!QFile::exists(RestartLog()));
}

// The program keeps running: after the (shortened) wait the copier gives up and touches nothing.
void TestFileCopy::givesUpWhileProgramRuns()
{
    QVERIFY(WriteFile(Updates() + QStringLiteral("Pellaro.temp"), m_standIn + "\n#new version"));
    const qint64 pid = StartProgram();
    QVERIFY(pid > 0);
    const auto before = Snapshot(Prog());
    const CopierRun run = RunCopier(Arguments(pid, {Updates() + QStringLiteral("Pellaro")}), 300, false);
    QCOMPARE(run.exitCode, 3);
    QCOMPARE(m_program->state(), QProcess::Running);
    QCOMPARE(Snapshot(Prog()), before);
    QVERIFY(QFile::exists(Updates() + QStringLiteral("Pellaro.temp")));
    const QString log = CopierLog();
    QVERIFY2(log.contains(QStringLiteral("did not end within 300 ms; nothing was changed")), qPrintable(log));
    QVERIFY2(!log.contains(QStringLiteral("started ")), qPrintable(log));
}

QTEST_GUILESS_MAIN(TestFileCopy)
#include "TestFileCopy.moc"
