// TUpdater: the version rules, the descriptor, downloads and the copier hand-over,
// against a real HTTP server on loopback.
#include "HttpTestServer.h"
#include "TestFolders.h"
#include "Updater.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(tVersion)

namespace {

tVersion V(qint32 a, qint32 b, qint32 c, qint32 d)
{
    tVersion v;
    v.Part = {a, b, c, d};
    return v;
}

QByteArray Bytes(int n, char seed)
{
    QByteArray b(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>(seed + i * 7);
    return b;
}

// Paths of the files this process holds open below folder.
QStringList OpenFilesBelow(const QString& folder)
{
    QStringList open;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fds.filePath(fd));
        if (target.startsWith(folder))
            open << target;
    }
    return open;
}

} // namespace

class TestUpdater : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void translateVersion_data();
    void translateVersion();
    void updateNeeded_data();
    void updateNeeded();
    void maskMatches_data();
    void maskMatches();
    void targetInsideFolder_data();
    void targetInsideFolder();
    void targetThroughSymlinkIsOutside();

    void construction();
    void checkUpdate_readsDescriptor();
    void checkUpdate_versionRules_data();
    void checkUpdate_versionRules();
    void checkUpdate_appendsUntilCancel();
    void checkUpdate_transfers_data();
    void checkUpdate_transfers();
    void checkUpdate_fileUrl();
    void checkUpdate_throughProxy();
    void checkUpdate_unwritableUpdateFile();

    void doUpdate_inPlaceWithoutRestart();
    void doUpdate_schemesAndMainDir();
    void doUpdate_restartStartsCopier_data();
    void doUpdate_restartStartsCopier();
    void doUpdate_failureMidRun();
    void doUpdate_targetsOutsideFolderSkipped();
    void doUpdate_uncreatableFileStillCounts();

    void cliCheck();

private:
    // Serves text (with every "@" replaced by the server's base URL) as softwupd/<name>; returns its URL.
    QString Serve(const QString& name, QByteArray text);
    void Prepare(TUpdater& u, const QString& url, const QString& installed);
    QString CopierLog() const { return m_work.path() + QStringLiteral("/copier.log"); }
    QStringList CopierArgs() const;

    HttpTestServer m_server;
    QTemporaryDir m_data; // XDG_DATA_HOME of this run
    QTemporaryDir m_work;
    QString m_updates; // the UpdateFolder
};

void TestUpdater::initTestCase()
{
    QVERIFY(m_data.isValid() && m_work.isValid());
    qputenv("XDG_DATA_HOME", m_data.path().toLocal8Bit());
    qputenv("PELLARO_COPIER_LOG", CopierLog().toLocal8Bit());
    m_updates = m_data.path() + QStringLiteral("/Marbeck/Updates/");
    QVERIFY2(m_server.Start(), qPrintable(m_server.ErrorText()));
}

void TestUpdater::init()
{
    QDir(m_updates).removeRecursively();
    QFile::remove(CopierLog());
    QFile::remove(m_work.path() + QStringLiteral("/uPellaro.ini"));
}

QString TestUpdater::Serve(const QString& name, QByteArray text)
{
    text.replace('@', m_server.Url(QString()).toLatin1());
    m_server.Put(QStringLiteral("softwupd/") + name, text);
    return m_server.Url(QStringLiteral("/softwupd/") + name);
}

void TestUpdater::Prepare(TUpdater& u, const QString& url, const QString& installed)
{
    u.SetURL(url);
    u.SetUpdateFile(m_work.path() + QStringLiteral("/uPellaro.ini"));
    u.SetCurrentVersion(installed);
    u.SetCopier(BinDir() + QStringLiteral("/update-copier-standin"));
    u.SetTransferTimeout(2000);
}

QStringList TestUpdater::CopierArgs() const
{
    return QString::fromLocal8Bit(ReadTestFile(CopierLog())).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// ---- pure rules ---------------------------------------------------------------------------

void TestUpdater::translateVersion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<tVersion>("expected");
    QTest::newRow("four parts") << "2.2.0.0" << V(2, 2, 0, 0);
    QTest::newRow("wildcards") << "5.0.*.*" << V(5, 0, -1, -1);
    QTest::newRow("two parts") << "2.2" << V(2, 2, -1, -1);
    QTest::newRow("empty") << "" << V(-1, -1, -1, -1);
    QTest::newRow("empty middle part is 0") << "5..1" << V(5, 0, 1, -1);
    QTest::newRow("star inside last part") << "5.0.1*" << V(5, 0, -1, -1);
    QTest::newRow("star inside middle part is 0") << "5.0*.1" << V(5, 0, 1, -1);
    QTest::newRow("not a number") << "abc" << V(0, -1, -1, -1);
    QTest::newRow("hexadecimal parts") << "$10.0x1f" << V(16, 31, -1, -1);
    QTest::newRow("negative part") << "-3.1" << V(-3, 1, -1, -1);
    QTest::newRow("fifth part ignored") << "1.2.3.4.5" << V(1, 2, 3, 4);
    QTest::newRow("trailing dot") << "3." << V(3, -1, -1, -1);
    QTest::newRow("lone star") << "*" << V(-1, -1, -1, -1);
}

void TestUpdater::translateVersion()
{
    QFETCH(QString, text);
    QFETCH(tVersion, expected);
    QCOMPARE(TranslateVersion(text), expected);
}

void TestUpdater::updateNeeded_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("latest");
    QTest::addColumn<bool>("needed");
    QTest::newRow("tweak newer") << "2.2.0.0"
                                 << "2.2.0.1" << true;
    QTest::newRow("equal") << "2.2.0.0"
                           << "2.2.0.0" << false;
    QTest::newRow("missing parts are lower than 0") << "2.2.0.0"
                                                    << "2.2" << false;
    QTest::newRow("major beats the rest") << "2.9.9.9"
                                          << "3" << true;
    QTest::newRow("older") << "2.2.0.0"
                           << "2.1.9.9" << false;
    QTest::newRow("minor decides before patch") << "1.5.0.0"
                                                << "1.4.9.9" << false;
    QTest::newRow("default latest 0") << "1.0.0.0"
                                      << "0" << false;
    QTest::newRow("no installed version") << ""
                                          << "0.0.0.1" << true;
    QTest::newRow("signed comparison") << "1.0.0.0"
                                       << "1.0.0.$FFFFFFFF" << false;
}

void TestUpdater::updateNeeded()
{
    QFETCH(QString, installed);
    QFETCH(QString, latest);
    QFETCH(bool, needed);
    QCOMPARE(UpdateNeeded(TranslateVersion(installed), TranslateVersion(latest)), needed);
}

void TestUpdater::maskMatches_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<bool>("matches");
    QTest::newRow("2.2.*.* on 2.2.5.7") << "2.2.*.*"
                                        << "2.2.5.7" << true;
    QTest::newRow("2.2 on 2.2.5.7") << "2.2"
                                    << "2.2.5.7" << true;
    QTest::newRow("2.2 on 2.3.0.0") << "2.2"
                                    << "2.3.0.0" << false;
    QTest::newRow("empty mask on anything") << ""
                                            << "7.1.2.3" << true;
    QTest::newRow("exact") << "1.0.0.0"
                           << "1.0.0.0" << true;
    QTest::newRow("exact differs in tweak") << "1.0.0.0"
                                            << "1.0.0.1" << false;
    QTest::newRow("wildcard in front") << "*.*.*.4"
                                       << "9.9.9.4" << true;
    QTest::newRow("mask part against missing installed part") << "1.0"
                                                              << "" << false;
    QTest::newRow("all wildcards against missing version") << "*.*.*.*"
                                                           << "" << true;
}

void TestUpdater::maskMatches()
{
    QFETCH(QString, mask);
    QFETCH(QString, installed);
    QFETCH(bool, matches);
    QCOMPARE(MaskMatches(TranslateVersion(mask), TranslateVersion(installed)), matches);
}

void TestUpdater::targetInsideFolder_data()
{
    QTest::addColumn<QString>("rest"); // appended to the folder unless it begins with '/'
    QTest::addColumn<bool>("inside");
    QTest::newRow("plain file") << "Pellaro" << true;
    QTest::newRow("file with .temp") << "Pellaro.temp" << true;
    QTest::newRow("subfolder") << "pictures/play.png" << true;
    QTest::newRow("dot dot with slash") << "../Pellaro/pellaro.ini" << false;
    QTest::newRow("dot dot with backslash") << "sub\\..\\..\\evil" << false;
    QTest::newRow("dot dot at the end") << "sub/.." << false;
    QTest::newRow("three dots is a name") << "...temp" << true;
    QTest::newRow("the folder itself") << "" << false;
    QTest::newRow("absolute elsewhere") << "/etc/passwd" << false;
}

void TestUpdater::targetInsideFolder()
{
    QFETCH(QString, rest);
    QFETCH(bool, inside);
    const QString folder = UpdateFolder();
    const QString target = rest.startsWith(QLatin1Char('/')) ? rest : folder + rest;
    QCOMPARE(TargetInsideFolder(target, folder), inside);
    QVERIFY(!TargetInsideFolder(QStringLiteral("Pellaro"), folder)); // relative: the current directory
}

void TestUpdater::targetThroughSymlinkIsOutside()
{
    const QString folder = UpdateFolder();
    QTemporaryDir elsewhere;
    QVERIFY(QFile::link(elsewhere.path(), folder + QStringLiteral("out")));
    QVERIFY(!TargetInsideFolder(folder + QStringLiteral("out/x"), folder));
    QVERIFY(QFile::link(elsewhere.path() + QStringLiteral("/f"), folder + QStringLiteral("f")));
    QVERIFY(!TargetInsideFolder(folder + QStringLiteral("f"), folder));
    // A subfolder that does not exist yet does not hide the link above it (the copier creates
    // missing subfolders), nor does a dangling link.
    QVERIFY(!TargetInsideFolder(folder + QStringLiteral("out/new/x"), folder));
    QVERIFY(QFile::link(elsewhere.path() + QStringLiteral("/gone"), folder + QStringLiteral("dangling")));
    QVERIFY(!TargetInsideFolder(folder + QStringLiteral("dangling/new/x"), folder));
    QVERIFY(TargetInsideFolder(folder + QStringLiteral("sub/new/x"), folder));
}

// ---- the descriptor ----------------------------------------------------------------------

void TestUpdater::construction()
{
    TUpdater u;
    QCOMPARE(u.UpdateFile(), m_updates + QStringLiteral("update.ini"));
    QVERIFY(QFileInfo(m_updates).isDir()); // created when computed
    QVERIFY(u.URL().isEmpty());
    QVERIFY(u.LatestVersion().isEmpty());
    QVERIFY(!u.RestartNeeded() && !u.CopierStarted() && !u.IgnoreCurrentVersion());
    QVERIFY(u.Items() == nullptr);
    QCOMPARE(u.GetDescriptionCount(), 0);
    QVERIFY(u.GetDescription(0).isEmpty());
    QVERIFY(u.GetUpdateFilename(0).isEmpty());
    QCOMPARE(u.TransferTimeout(), 30000);
    QCOMPARE(u.Copier(), QCoreApplication::applicationDirPath() + QStringLiteral("/FileCopy"));
    const QString compiled = QStringLiteral("%1.%2.%3.%4")
                                 .arg(PELLARO_VERSION_MAJOR)
                                 .arg(PELLARO_VERSION_MINOR)
                                 .arg(PELLARO_VERSION_PATCH)
                                 .arg(PELLARO_VERSION_TWEAK);
    QCOMPARE(u.GetCurrentVersion(), compiled);
    QVERIFY(!u.DoUpdate()); // nothing found yet

    qunsetenv("PELLARO_UPDATE_URL");
    QCOMPARE(UpdateDescriptorURL(), QStringLiteral("http://update.marbeck.com/softwupd/Pellaro.ini"));
    qputenv("PELLARO_UPDATE_URL", "http://127.0.0.1:1/softwupd/Pellaro.ini");
    QCOMPARE(UpdateDescriptorURL(), QStringLiteral("http://127.0.0.1:1/softwupd/Pellaro.ini"));
    qunsetenv("PELLARO_UPDATE_URL");
}

void TestUpdater::checkUpdate_readsDescriptor()
{
    const QByteArray longLine(3000, 'x');
    // Section and key names in other letter cases, hexadecimal integers, a 3000-character
    // value, a first section that does not match and two that do (the first wins).
    const QString url =
        Serve(QStringLiteral("read.ini"), "; published versions\r\n"
                                          "[general]\r\n"
                                          "latestversion=2.3.0.0\r\n"
                                          "VERSIONCOUNT=3\r\n"
                                          "VersionSection0=V21\r\n"
                                          "versionsection1=v22\r\n"
                                          "VersionSection2=Any\r\n"
                                          "[V21]\r\nMask=2.1.*.*\r\nFileCount=1\r\nFileSection0=Wrong\r\n"
                                          "[V22]\r\n"
                                          "Mask=2.2\r\n"
                                          "FileCount=$4\r\n"
                                          "FileSection0=F1\r\n"
                                          "FileSection2=F2\r\n"
                                          "FileSection3=\r\n"
                                          "FileSection4=Beyond\r\n"
                                          "FileSection02=Padded\r\n"
                                          "DescriptionCount=0x3\r\n"
                                          "Description0=New: faster loading.\r\n"
                                          "Description2=" +
                                              longLine +
                                              "\r\n"
                                              "[Any]\r\nFileCount=1\r\nFileSection0=Wrong\r\n"
                                              "[f1]\r\nSource=@/files/a.bin\r\nTarget=%MAIN_DIR%\\Pellaro\r\n"
                                              "Size=0x400\r\nUseTemp=1\r\n"
                                              "[F2]\r\nsource=@/files/b.bin\r\ntarget=%MAIN_DIR%\\Pellaro.html\r\n"
                                              "size=oops\r\nusetemp=0\r\nneedrestart=$1\r\n");
    TUpdater u;
    Prepare(u, url, QStringLiteral("2.2.0.0"));
    QList<quint32> positions;
    u.OnProgress = [&positions, &u](TUpdater* sender, quint32 pos) {
        QCOMPARE(sender, &u);
        positions << pos;
    };
    QVERIFY(u.CheckUpdate());
    QCOMPARE(u.LatestVersion(), QStringLiteral("2.3.0.0"));
    QVERIFY(u.Items());
    QCOMPARE(u.Items()->size(), 2);
    const tItemUpdate& a = u.Items()->at(0);
    QCOMPARE(a.Source, m_server.Url(QStringLiteral("/files/a.bin")));
    QCOMPARE(a.Target, QStringLiteral("%MAIN_DIR%\\Pellaro")); // replaced only by DoUpdate
    QCOMPARE(a.Size, 1024);
    QVERIFY(a.UseTemp);
    const tItemUpdate& b = u.Items()->at(1);
    QCOMPARE(u.GetUpdateFilename(1), QStringLiteral("%MAIN_DIR%\\Pellaro.html"));
    QCOMPARE(b.Size, 0);
    QVERIFY(!b.UseTemp);
    QVERIFY(u.GetUpdateFilename(2).isEmpty());
    QVERIFY(u.GetUpdateFilename(-1).isEmpty());
    QVERIFY(u.RestartNeeded());
    QCOMPARE(u.GetDescriptionCount(), 3);
    QCOMPARE(u.GetDescription(0), QStringLiteral("New: faster loading."));
    QCOMPARE(u.GetDescription(1), QString());
    QCOMPARE(u.GetDescription(2), QString(2047, QLatin1Char('x')));
    QVERIFY(u.GetDescription(3).isEmpty());
    // The descriptor itself came through the data events into the local copy.
    const QByteArray copy = ReadTestFile(u.UpdateFile());
    QCOMPARE(copy, ReadTestFile(m_server.Root() + QStringLiteral("softwupd/read.ini")));
    QVERIFY(!positions.isEmpty());
    QCOMPARE(positions.last(), static_cast<quint32>(copy.size()));
    QCOMPARE(u.Progress(), static_cast<quint32>(copy.size()));
}

void TestUpdater::checkUpdate_versionRules_data()
{
    QTest::addColumn<QByteArray>("latestLine");
    QTest::addColumn<QByteArray>("mask");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<bool>("ignoreCurrent");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("latestShown");
    QTest::newRow("newer") << QByteArray("LatestVersion=1.0.0.1") << QByteArray("1.0") << "1.0.0.0" << false << true
                           << "1.0.0.1";
    QTest::newRow("equal") << QByteArray("LatestVersion=1.0.0.0") << QByteArray("1.0") << "1.0.0.0" << false << false
                           << "1.0.0.0";
    QTest::newRow("no LatestVersion") << QByteArray() << QByteArray("1.0") << "1.0.0.0" << false << false << "0";
    QTest::newRow("ignore: not newer, mask matches")
        << QByteArray() << QByteArray("1.0.*.*") << "1.0.0.0" << true << true << "0";
    QTest::newRow("ignore: mask still checked")
        << QByteArray("LatestVersion=1.0.0.0") << QByteArray("2.0") << "1.0.0.0" << true << false << "1.0.0.0";
    QTest::newRow("no installed version, wildcard mask")
        << QByteArray("LatestVersion=0.0.0.1") << QByteArray("*.*.*.*") << "" << false << true << "0.0.0.1";
    QTest::newRow("no installed version, mask with a number")
        << QByteArray("LatestVersion=0.0.0.1") << QByteArray("1.0") << "" << false << false << "0.0.0.1";
}

void TestUpdater::checkUpdate_versionRules()
{
    QFETCH(QByteArray, latestLine);
    QFETCH(QByteArray, mask);
    QFETCH(QString, installed);
    QFETCH(bool, ignoreCurrent);
    QFETCH(bool, found);
    QFETCH(QString, latestShown);
    const QString url = Serve(QStringLiteral("rules.ini"),
                              "[General]\n" + latestLine + "\nVersionCount=1\nVersionSection0=S\n[S]\nMask=" + mask +
                                  "\nFileCount=1\nFileSection0=F\nDescriptionCount=1\nDescription0=d\n"
                                  "[F]\nSource=@/files/a.bin\nTarget=%MAIN_DIR%\\a\n");
    TUpdater u;
    Prepare(u, url, installed);
    u.SetIgnoreCurrentVersion(ignoreCurrent);
    QCOMPARE(u.CheckUpdate(), found);
    QCOMPARE(u.LatestVersion(), latestShown);
    QCOMPARE(u.GetDescriptionCount(), found ? 1 : 0);
    QCOMPARE(u.Items() != nullptr, found);
}

void TestUpdater::checkUpdate_appendsUntilCancel()
{
    const QString first =
        Serve(QStringLiteral("first.ini"),
              "[General]\nLatestVersion=9\nVersionCount=1\nVersionSection0=S\n"
              "[S]\nFileCount=1\nFileSection0=F\nDescriptionCount=2\nDescription0=one\nDescription1=two\n"
              "[F]\nSource=@/files/a.bin\nTarget=%MAIN_DIR%\\a\n");
    // The second names a missing section first: a section without keys, which matches every
    // version and lists nothing, so the descriptions become empty and no entry is added.
    const QString second =
        Serve(QStringLiteral("second.ini"),
              "[General]\nLatestVersion=9\nVersionCount=2\nVersionSection0=Missing\nVersionSection1=S\n"
              "[S]\nFileCount=1\nFileSection0=F\n[F]\nSource=x\n");
    const QString third =
        Serve(QStringLiteral("third.ini"), "[General]\nLatestVersion=9\nVersionCount=1\nVersionSection0=S\n"
                                           "[S]\nFileCount=1\nFileSection0=F\nDescriptionCount=1\nDescription0=three\n"
                                           "[F]\nSource=@/files/b.bin\nTarget=%MAIN_DIR%\\b\n");
    TUpdater u;
    Prepare(u, first, QStringLiteral("1.0.0.0"));
    QVERIFY(u.CheckUpdate());
    QCOMPARE(u.GetDescriptionCount(), 2);
    u.SetURL(second);
    QVERIFY(u.CheckUpdate()); // the earlier entry is still there
    QCOMPARE(u.Items()->size(), 1);
    QCOMPARE(u.GetDescriptionCount(), 0);
    u.SetURL(third);
    QVERIFY(u.CheckUpdate());
    QCOMPARE(u.Items()->size(), 2);
    QCOMPARE(u.GetUpdateFilename(1), QStringLiteral("%MAIN_DIR%\\b"));
    QCOMPARE(u.GetDescription(0), QStringLiteral("three"));
    u.CancelUpdate();
    QVERIFY(u.Items() == nullptr);
    QCOMPARE(u.GetDescription(0), QStringLiteral("three")); // descriptions stay
    QCOMPARE(u.LatestVersion(), QStringLiteral("9"));
    QVERIFY(!u.DoUpdate());
}

void TestUpdater::checkUpdate_transfers_data()
{
    QTest::addColumn<QString>("path"); // "refused": a port nobody listens on
    QTest::addColumn<bool>("found");
    QTest::newRow("five redirections") << "/redirect/5/softwupd/ok.ini" << true;
    QTest::newRow("six redirections") << "/redirect/6/softwupd/ok.ini" << false;
    QTest::newRow("404") << "/softwupd/missing.ini" << false;
    QTest::newRow("500") << "/status/500" << false;
    QTest::newRow("stall past the time-out") << "/stall/softwupd/ok.ini" << false;
    QTest::newRow("connection refused") << "refused" << false;
}

void TestUpdater::checkUpdate_transfers()
{
    QFETCH(QString, path);
    QFETCH(bool, found);
    Serve(QStringLiteral("ok.ini"), "[General]\nLatestVersion=9\nVersionCount=1\nVersionSection0=S\n"
                                    "[S]\nFileCount=1\nFileSection0=F\n[F]\nSource=@/files/a.bin\n"
                                    "Target=%MAIN_DIR%\\a\n; padding so that the stall cuts the file\n");
    QString url = m_server.Url(path);
    if (path == QLatin1String("refused")) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        url = QStringLiteral("http://127.0.0.1:%1/softwupd/ok.ini").arg(probe.serverPort());
        probe.close();
    }
    TUpdater u;
    Prepare(u, url, QStringLiteral("1.0.0.0"));
    u.SetTransferTimeout(400);
    QElapsedTimer t;
    t.start();
    QCOMPARE(u.CheckUpdate(), found);
    QVERIFY2(t.elapsed() < 10000, "the time-out did not end the request");
    QCOMPARE(u.LatestVersion(), found ? QStringLiteral("9") : QString()); // a failed GET reads nothing
    if (path == QLatin1String("/softwupd/missing.ini"))
        QCOMPARE(ReadTestFile(u.UpdateFile()), QByteArray()); // the error page is not the descriptor
    QVERIFY(OpenFilesBelow(m_work.path()).isEmpty());
}

void TestUpdater::checkUpdate_fileUrl()
{
    const QString source = m_work.path() + QStringLiteral("/local descriptor.ini");
    QVERIFY(WriteTestFile(source, "[General]\nLatestVersion=7.0\nVersionCount=1\nVersionSection0=S\n"
                                  "[S]\nFileCount=1\nFileSection0=F\n[F]\nSource=@\nTarget=x\n"));
    TUpdater u;
    Prepare(u, QStringLiteral("file://") + source, QStringLiteral("1.0.0.0"));
    int events = 0;
    u.OnProgress = [&events](TUpdater*, quint32) { ++events; };
    const int requestsBefore = static_cast<int>(m_server.Requests().size());
    QVERIFY(u.CheckUpdate());
    QCOMPARE(ReadTestFile(u.UpdateFile()), ReadTestFile(source));
    QCOMPARE(events, 0);
    QCOMPARE(m_server.Requests().size(), requestsBefore);

    // A source that does not open writes nothing; the older local copy is still read.
    TUpdater v;
    Prepare(v, QStringLiteral("file://") + m_work.path() + QStringLiteral("/nothing-here.ini"),
            QStringLiteral("1.0.0.0"));
    QVERIFY(v.CheckUpdate());
    QCOMPARE(v.LatestVersion(), QStringLiteral("7.0"));
}

void TestUpdater::checkUpdate_throughProxy()
{
    Serve(QStringLiteral("proxied.ini"), "[General]\nLatestVersion=5\n");
    TUpdater u;
    Prepare(u, QStringLiteral("http://update.example.invalid/softwupd/proxied.ini"), QStringLiteral("1.0.0.0"));
    u.SetProxyServer(QStringLiteral("127.0.0.1"));
    u.SetProxyPort(QString::number(m_server.Port()));
    QVERIFY(!u.CheckUpdate()); // no sections: nothing to fetch, but the descriptor was read
    QCOMPARE(u.LatestVersion(), QStringLiteral("5"));
    QVERIFY(m_server.Requests().contains(QStringLiteral("PROXY /softwupd/proxied.ini")));
}

void TestUpdater::checkUpdate_unwritableUpdateFile()
{
    const QString url = Serve(QStringLiteral("never.ini"), "[General]\nLatestVersion=5\n");
    TUpdater u;
    Prepare(u, url, QStringLiteral("1.0.0.0"));
    u.SetUpdateFile(m_work.path() + QStringLiteral("/no such folder/uPellaro.ini"));
    QVERIFY(!u.CheckUpdate());
    QVERIFY(!m_server.Requests().contains(QStringLiteral("GET /softwupd/never.ini")));
    QVERIFY(u.LatestVersion().isEmpty());
}

// ---- downloads ---------------------------------------------------------------------------

void TestUpdater::doUpdate_inPlaceWithoutRestart()
{
    const QByteArray a = Bytes(70000, 1), b = Bytes(1234, 2);
    m_server.Put(QStringLiteral("files/a.bin"), a);
    m_server.Put(QStringLiteral("files/b.bin"), b);
    const QString url = Serve(QStringLiteral("inplace.ini"),
                              "[General]\nLatestVersion=1.0.0.1\nVersionCount=1\nVersionSection0=S\n"
                              "[S]\nFileCount=2\nFileSection0=A\nFileSection1=B\n"
                              "[A]\nSource=@/files/a.bin\nTarget=%MAIN_DIR%\\a.bin\nSize=70000\n"
                              "[B]\nSource=@/redirect/2/files/b.bin\nTarget=%MAIN_DIR%\\b.bin\nSize=1234\n");
    TUpdater u;
    Prepare(u, url, QStringLiteral("1.0.0.0"));
    QVERIFY(u.CheckUpdate());
    QList<quint32> positions;
    QList<qint32> sizes;
    u.OnProgress = [&](TUpdater*, quint32 pos) {
        positions << pos;
        sizes << u.iFileSize();
    };
    QVERIFY(u.DoUpdate());
    QCOMPARE(ReadTestFile(m_updates + QStringLiteral("a.bin")), a);
    QCOMPARE(ReadTestFile(m_updates + QStringLiteral("b.bin")), b);
    QCOMPARE(u.GetUpdateFilename(0), m_updates + QStringLiteral("a.bin")); // the entry keeps the new Target
    QVERIFY(!u.RestartNeeded());
    QVERIFY(!u.CopierStarted());
    // Progress counts each file from 0; the events carry the running total.
    QVERIFY(positions.size() >= 2);
    QVERIFY(positions.contains(70000u));
    QCOMPARE(positions.last(), 1234u);
    QCOMPARE(sizes.first(), 70000);
    QCOMPARE(sizes.last(), 1234);
    for (qsizetype i = 1; i < positions.size(); ++i)
        QVERIFY(positions[i] > positions[i - 1] || positions[i - 1] == 70000u);
    QTest::qWait(300);
    QVERIFY(!QFile::exists(CopierLog()));
    QVERIFY(OpenFilesBelow(m_updates).isEmpty());
}

void TestUpdater::doUpdate_schemesAndMainDir()
{
    m_server.Put(QStringLiteral("files/c.bin"), "capital scheme");
    m_server.Put(QStringLiteral("files/d.bin"), "twice");
    const QString url = Serve(QStringLiteral("schemes.ini"),
                              "[General]\nLatestVersion=1.0.0.1\nVersionCount=1\nVersionSection0=S\n"
                              "[S]\nFileCount=4\nFileSection0=Caps\nFileSection1=Twice\nFileSection2=Https\n"
                              "FileSection3=Lower\n"
                              "[Https]\nSource=https://127.0.0.1:1/files/c.bin\nTarget=%MAIN_DIR%\\s.bin\n"
                              "[Caps]\nSource=HTTP://127.0.0.1:" +
                                  QByteArray::number(m_server.Port()) +
                                  "/files/c.bin\nTarget=%MAIN_DIR%\\c.bin\n"
                                  "[Twice]\nSource=@/files/d.bin\nTarget=%MAIN_DIR%\\d%MAIN_DIR%\\e.bin\n"
                                  "[Lower]\nSource=@/files/d.bin\nTarget=%main_dir%\\l.bin\n");
    TUpdater u;
    Prepare(u, url, QStringLiteral("1.0.0.0"));
    QVERIFY(u.CheckUpdate());
    const QStringList before = m_server.Requests();
    QVERIFY(u.DoUpdate());
    // https: created empty, not fetched, still handed over.
    QVERIFY(QFileInfo::exists(m_updates + QStringLiteral("s.bin")));
    QCOMPARE(QFileInfo(m_updates + QStringLiteral("s.bin")).size(), 0);
    QCOMPARE(ReadTestFile(m_updates + QStringLiteral("c.bin")), QByteArray("capital scheme"));
    // Only the first marker is replaced.
    const QString twice = m_updates + QStringLiteral("d%MAIN_DIR%\\e.bin");
    QCOMPARE(u.GetUpdateFilename(1), twice);
    QCOMPARE(ReadTestFile(twice), QByteArray("twice"));
    // The marker is case-sensitive; left unreplaced the Target is a relative path, outside the folder.
    QCOMPARE(u.GetUpdateFilename(3), QStringLiteral("%main_dir%\\l.bin"));
    QVERIFY(!QFileInfo::exists(QStringLiteral("%main_dir%\\l.bin")));
    const QStringList requests = m_server.Requests().mid(before.size());
    QCOMPARE(requests, QStringList({QStringLiteral("GET /files/c.bin"), QStringLiteral("GET /files/d.bin")}));
    QVERIFY(u.CopierArguments().contains(m_updates + QStringLiteral("s.bin")));
    QVERIFY(!u.CopierStarted());
    QVERIFY(OpenFilesBelow(m_updates).isEmpty()); // the unfetched entry's file too
}

void TestUpdater::doUpdate_restartStartsCopier_data()
{
    // Files A then B; which of them asks for what.
    QTest::addColumn<QByteArray>("flagsA");
    QTest::addColumn<QByteArray>("flagsB");
    QTest::addColumn<QString>("tempFile"); // the file name A's data lands in
    QTest::newRow("UseTemp and NeedRestart")
        << QByteArray("UseTemp=1\nNeedRestart=1\n") << QByteArray() << "Pellaro.temp";
    QTest::newRow("NeedRestart on the second file, no UseTemp")
        << QByteArray() << QByteArray("NeedRestart=1\n") << "Pellaro";
    QTest::newRow("UseTemp alone") << QByteArray("UseTemp=1\n") << QByteArray() << "Pellaro.temp";
}

void TestUpdater::doUpdate_restartStartsCopier()
{
    QFETCH(QByteArray, flagsA);
    QFETCH(QByteArray, flagsB);
    QFETCH(QString, tempFile);
    const QByteArray program = Bytes(5000, 3);
    m_server.Put(QStringLiteral("files/Pellaro"), program);
    m_server.Put(QStringLiteral("files/help.html"), "<html>help</html>");
    const QString url = Serve(QStringLiteral("restart.ini"),
                              "[General]\nLatestVersion=1.0.0.1\nVersionCount=1\nVersionSection0=S\n"
                              "[S]\nFileCount=2\nFileSection0=A\nFileSection1=B\n"
                              "[A]\nSource=@/files/Pellaro\nTarget=%MAIN_DIR%\\Pellaro\nSize=5000\n" +
                                  flagsA + "[B]\nSource=@/files/help.html\nTarget=%MAIN_DIR%\\Pellaro.html\n" + flagsB);
    TUpdater u;
    Prepare(u, url, QStringLiteral("1.0.0.0"));
    QVERIFY(u.CheckUpdate());
    QVERIFY(u.DoUpdate());
    QVERIFY(u.RestartNeeded());
    QVERIFY(u.CopierStarted());
    QCOMPARE(ReadTestFile(m_updates + tempFile), program);
    const QString pid = QString::number(QCoreApplication::applicationPid());
    const QString self = QCoreApplication::applicationFilePath();
    const QString pellaro = m_updates + QStringLiteral("Pellaro");
    const QString help = m_updates + QStringLiteral("Pellaro.html");
    QCOMPARE(u.CopierParameters(), QStringLiteral("-id ") + pid + QStringLiteral(" -p \"") + self +
                                       QStringLiteral(" -u\" -f \"") + pellaro + QStringLiteral("\" -f \"") + help +
                                       QStringLiteral("\""));
    const QStringList expected{QStringLiteral("-id"), pid,     QStringLiteral("-p"), self + QStringLiteral(" -u"),
                               QStringLiteral("-f"),  pellaro, QStringLiteral("-f"), help};
    QCOMPARE(u.CopierArguments(), expected);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(CopierLog()), 5000);
    QCOMPARE(CopierArgs(), expected);
}

void TestUpdater::doUpdate_failureMidRun()
{
    m_server.Put(QStringLiteral("files/first.bin"), "first");
    m_server.Put(QStringLiteral("files/third.bin"), "third");
    m_server.Put(QStringLiteral("files/big.bin"), Bytes(4000, 4));
    const QString url =
        Serve(QStringLiteral("midrun.ini"), "[General]\nLatestVersion=1.0.0.1\nVersionCount=1\nVersionSection0=S\n"
                                            "[S]\nFileCount=3\nFileSection0=A\nFileSection1=B\nFileSection2=C\n"
                                            "[A]\nSource=@/files/first.bin\nTarget=%MAIN_DIR%\\first.bin\nUseTemp=1\n"
                                            "[B]\nSource=@/stall/files/big.bin\nTarget=%MAIN_DIR%\\second.bin\n"
                                            "[C]\nSource=@/files/third.bin\nTarget=%MAIN_DIR%\\third.bin\n");
    TUpdater u;
    Prepare(u, url, QStringLiteral("1.0.0.0"));
    u.SetTransferTimeout(400);
    QVERIFY(u.CheckUpdate());
    QVERIFY(u.DoUpdate());                           // the first download completed
    QVERIFY(u.RestartNeeded() && u.CopierStarted()); // kept from the first entry
    QCOMPARE(ReadTestFile(m_updates + QStringLiteral("first.bin.temp")), QByteArray("first"));
    QVERIFY(QFileInfo::exists(m_updates + QStringLiteral("second.bin")));
    QVERIFY(!QFileInfo::exists(m_updates + QStringLiteral("third.bin")));
    QVERIFY(!m_server.Requests().contains(QStringLiteral("GET /files/third.bin")));
    QVERIFY(OpenFilesBelow(m_updates).isEmpty());
    QTest::qWait(300);
    QVERIFY(!QFile::exists(CopierLog())); // a run that ended early starts no copier

    // A failure before any completed download: false.
    const QString url2 =
        Serve(QStringLiteral("midrun2.ini"), "[General]\nLatestVersion=1.0.0.1\nVersionCount=1\nVersionSection0=S\n"
                                             "[S]\nFileCount=1\nFileSection0=A\n"
                                             "[A]\nSource=@/files/gone.bin\nTarget=%MAIN_DIR%\\gone.bin\n");
    TUpdater v;
    Prepare(v, url2, QStringLiteral("1.0.0.0"));
    QVERIFY(v.CheckUpdate());
    QVERIFY(!v.DoUpdate());
    QCOMPARE(ReadTestFile(m_updates + QStringLiteral("gone.bin")), QByteArray()); // no 404 page inside
}

void TestUpdater::doUpdate_targetsOutsideFolderSkipped()
{
    m_server.Put(QStringLiteral("files/x.bin"), "payload");
    QTemporaryDir outside;
    const QByteArray absolute = (outside.path() + QStringLiteral("/absolute.bin")).toLocal8Bit();
    const QString url =
        Serve(QStringLiteral("traversal.ini"),
              "[General]\nLatestVersion=1.0.0.1\nVersionCount=1\nVersionSection0=S\n"
              "[S]\nFileCount=4\nFileSection0=Up\nFileSection1=Abs\nFileSection2=Deep\nFileSection3=Good\n"
              "[Up]\nSource=@/files/x.bin\nTarget=%MAIN_DIR%\\../escaped.bin\nNeedRestart=1\n"
              "[Abs]\nSource=@/files/x.bin\nTarget=" +
                  absolute +
                  "\nUseTemp=1\n"
                  "[Deep]\nSource=@/files/x.bin\nTarget=%MAIN_DIR%\\sub\\..\\..\\..\\deep.bin\n"
                  "[Good]\nSource=@/files/x.bin\nTarget=%MAIN_DIR%\\good.bin\n");
    TUpdater u;
    Prepare(u, url, QStringLiteral("1.0.0.0"));
    QVERIFY(u.CheckUpdate());
    const qsizetype before = m_server.Requests().size();
    QVERIFY(u.DoUpdate());
    QVERIFY(!QFileInfo::exists(m_data.path() + QStringLiteral("/Marbeck/escaped.bin")));
    QVERIFY(!QFileInfo::exists(QString::fromLocal8Bit(absolute)));
    QVERIFY(!QFileInfo::exists(QString::fromLocal8Bit(absolute) + QStringLiteral(".temp")));
    QCOMPARE(FilesIn(outside.path()), QStringList());
    QCOMPARE(FilesIn(m_updates), QStringList{QStringLiteral("good.bin")});
    QCOMPARE(m_server.Requests().size() - before, 1); // only the good entry was fetched
    // Skipped entries hand nothing to the copier; the NeedRestart they declared still counts.
    QVERIFY(u.CopierStarted());
    QCOMPARE(u.CopierArguments().mid(4), QStringList({QStringLiteral("-f"), m_updates + QStringLiteral("good.bin")}));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(CopierLog()), 5000);
}

void TestUpdater::doUpdate_uncreatableFileStillCounts()
{
    m_server.Put(QStringLiteral("files/x.bin"), "payload");
    const QString url = Serve(QStringLiteral("nodir.ini"),
                              "[General]\nLatestVersion=1.0.0.1\nVersionCount=1\nVersionSection0=S\n"
                              "[S]\nFileCount=1\nFileSection0=A\n"
                              "[A]\nSource=@/files/x.bin\nTarget=%MAIN_DIR%\\no-such-folder/x.bin\nSize=7\n");
    TUpdater u;
    Prepare(u, url, QStringLiteral("1.0.0.0"));
    QVERIFY(u.CheckUpdate());
    int events = 0;
    u.OnProgress = [&events](TUpdater*, quint32) { ++events; };
    QVERIFY(u.DoUpdate()); // the download ran; its data had nowhere to go
    QCOMPARE(events, 0);
    QCOMPARE(u.Progress(), 0u);
    QVERIFY(m_server.Requests().contains(QStringLiteral("GET /files/x.bin")));
}

// ---- pellaro-cli update check -----------------------------------------------------------

void TestUpdater::cliCheck()
{
    const QString url = Serve(QStringLiteral("cli.ini"),
                              "[General]\nLatestVersion=99.0\nVersionCount=1\nVersionSection0=S\n"
                              "[S]\nFileCount=1\nFileSection0=F\nDescriptionCount=1\nDescription0=New: all of it.\n"
                              "[F]\nSource=@/files/Pellaro\nTarget=%MAIN_DIR%\\Pellaro\nUseTemp=1\n");
    const auto run = [this](const QStringList& args, QByteArray& out) {
        QProcess cli;
        cli.start(BinDir() + QStringLiteral("/pellaro-cli"),
                  QStringList{QStringLiteral("--workfolder"), m_work.path()} + args);
        if (!cli.waitForFinished(20000))
            return -1;
        out = cli.readAllStandardOutput();
        return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    };
    QByteArray out;
    QCOMPARE(run({QStringLiteral("update"), QStringLiteral("check"), QStringLiteral("--url"), url}, out), 0);
    const QString installed = QStringLiteral("%1.%2.%3.%4")
                                  .arg(PELLARO_VERSION_MAJOR)
                                  .arg(PELLARO_VERSION_MINOR)
                                  .arg(PELLARO_VERSION_PATCH)
                                  .arg(PELLARO_VERSION_TWEAK);
    QCOMPARE(QString::fromLocal8Bit(out),
             QStringLiteral("Current version ") + installed + QStringLiteral("\nThere is an Update available from v") +
                 installed + QStringLiteral(" to v99.0\n  New: all of it.\n  file %MAIN_DIR%\\Pellaro from ") +
                 m_server.Url(QStringLiteral("/files/Pellaro")) + QStringLiteral(" (placed by the copier)\n"));
    QVERIFY(QFileInfo::exists(m_work.path() + QStringLiteral("/uPellaro.ini")));
    QVERIFY(!QFileInfo::exists(m_updates + QStringLiteral("Pellaro.temp"))); // nothing downloaded

    QCOMPARE(run({QStringLiteral("update"), QStringLiteral("check"), QStringLiteral("--url"),
                  m_server.Url(QStringLiteral("/softwupd/absent.ini"))},
                 out),
             0);
    QVERIFY(out.endsWith("There is no update available\n"));
    QCOMPARE(run({QStringLiteral("update"), QStringLiteral("fetch")}, out), 2);
}

QTEST_GUILESS_MAIN(TestUpdater)
#include "TestUpdater.moc"
