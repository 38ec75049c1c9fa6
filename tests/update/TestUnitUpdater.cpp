// TFormUpdater offscreen: its layout and states, from "Check Update" to the OK result,
// against a real HTTP server on loopback. With PELLARO_SCREENSHOT_DIR set, the states are
// saved there as PNG files.
#include "HttpTestServer.h"
#include "TestFolders.h"
#include "UnitUpdater.h"
#include "Updater.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <QtTest>
#include <functional>

namespace {

QString Installed()
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(PELLARO_VERSION_MAJOR)
        .arg(PELLARO_VERSION_MINOR)
        .arg(PELLARO_VERSION_PATCH)
        .arg(PELLARO_VERSION_TWEAK);
}

QString Newer()
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(PELLARO_VERSION_MAJOR)
        .arg(PELLARO_VERSION_MINOR)
        .arg(PELLARO_VERSION_PATCH)
        .arg(PELLARO_VERSION_TWEAK + 1);
}

template <typename T> T* Child(QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QLatin1String(name));
    if (!c)
        qFatal("no child %s", name);
    return c;
}

// A button stands at its design place and size; it is wider only when its caption needs it.
void ExpectPlace(QPushButton* b, const QRect& design)
{
    const QRect g = b->geometry();
    QCOMPARE(g.topLeft(), design.topLeft());
    QCOMPARE(g.height(), design.height());
    const int caption = b->fontMetrics().horizontalAdvance(b->text().remove(QLatin1Char('&')));
    QVERIFY2(g.width() == design.width() || g.width() == caption + 12, qPrintable(QString::number(g.width())));
    QVERIFY(g.width() >= caption + 8);
}

void Shot(QWidget* w, const char* name)
{
    const QPixmap pm = w->grab();
    QVERIFY(!pm.isNull());
    const QString dir = qEnvironmentVariable("PELLARO_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(dir);
        QVERIFY(pm.save(dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png")));
    }
}

} // namespace

class TestUnitUpdater : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void readyState();
    void noUpdate_data();
    void noUpdate();
    void updateAvailableToDone();
    void emptyDescription();
    void copierEndsWithOk();
    void runUpdateDialog_data();
    void runUpdateDialog();
    void activationSetsAgain();

private:
    QString Descriptor(const QByteArray& latest, const QByteArray& sectionBody, const QByteArray& files);
    TFormUpdater* NewDialog();
    QString CopierLog() const { return m_work.path() + QStringLiteral("copier.log"); }

    HttpTestServer m_server;
    QTemporaryDir m_data;
    TempWorkFolder m_work;
    QString m_updates;
    std::unique_ptr<QMainWindow> m_main;
    std::unique_ptr<TFormUpdater> m_dialog;
};

void TestUnitUpdater::initTestCase()
{
    QVERIFY(m_data.isValid() && m_work.isValid());
    qputenv("XDG_DATA_HOME", m_data.path().toLocal8Bit());
    qputenv("PELLARO_COPIER_LOG", CopierLog().toLocal8Bit());
    m_updates = m_data.path() + QStringLiteral("/Marbeck/Updates/");
    QVERIFY2(m_server.Start(), qPrintable(m_server.ErrorText()));
    m_server.Put(QStringLiteral("files/Pellaro"), QByteArray(60000, 'P'));
    m_server.Put(QStringLiteral("files/Pellaro.html"), QByteArray(3000, 'h'));
}

void TestUnitUpdater::init()
{
    QDir(m_updates).removeRecursively();
    QFile::remove(CopierLog());
    QFile::remove(m_work.path() + QStringLiteral("uPellaro.ini"));
    m_main = std::make_unique<QMainWindow>();
    m_main->setWindowTitle(QStringLiteral("Pellaro"));
    m_main->resize(555, 454);
    m_main->show();
}

void TestUnitUpdater::cleanup()
{
    m_dialog.reset();
    m_main.reset();
    qunsetenv("PELLARO_UPDATE_URL");
}

QString TestUnitUpdater::Descriptor(const QByteArray& latest, const QByteArray& sectionBody, const QByteArray& files)
{
    static int n = 0;
    QByteArray text =
        "[General]\nLatestVersion=" + latest + "\nVersionCount=1\nVersionSection0=S\n[S]\n" + sectionBody + files;
    text.replace('@', m_server.Url(QString()).toLatin1());
    const QString name = QStringLiteral("softwupd/Pellaro%1.ini").arg(++n);
    m_server.Put(name, text);
    const QString url = m_server.Url(QLatin1Char('/') + name);
    qputenv("PELLARO_UPDATE_URL", url.toLatin1());
    return url;
}

TFormUpdater* TestUnitUpdater::NewDialog()
{
    m_dialog = std::make_unique<TFormUpdater>(m_main.get(), m_work.path());
    m_dialog->ApplUpdater()->SetCopier(BinDir() + QStringLiteral("/update-copier-standin"));
    m_dialog->ApplUpdater()->SetTransferTimeout(2000);
    m_dialog->open();
    if (!QTest::qWaitForWindowExposed(m_dialog.get()))
        qWarning("the dialog was not exposed");
    return m_dialog.get();
}

void TestUnitUpdater::readyState()
{
    TFormUpdater* d = NewDialog();
    QCOMPARE(d->size(), QSize(451, 296));
    QCOMPARE(d->windowType(), Qt::Tool);
    QVERIFY(d->windowFlags().testFlag(Qt::CustomizeWindowHint));
    QVERIFY(!d->windowFlags().testFlag(Qt::WindowCloseButtonHint)); // no close box
    QVERIFY(!d->windowFlags().testFlag(Qt::WindowMinMaxButtonsHint));
    QVERIFY(d->isModal());
    QCOMPARE(d->windowTitle(), QStringLiteral("Current version ") + Installed());
    QCOMPARE(d->ApplUpdater()->UpdateFile(), m_work.path() + QStringLiteral("uPellaro.ini"));
    const QPoint offCentre = d->geometry().center() - m_main->geometry().center();
    QVERIFY2(offCentre.manhattanLength() <= 4, "the dialog is not centred over the main window");

    auto* check = Child<QPushButton>(d, "ButtonCheckUpdate");
    QVERIFY(check->isVisible() && check->isEnabled() && check->isFlat());
    QCOMPARE(check->text(), QStringLiteral("Check Update"));
    ExpectPlace(check, QRect(264, 104, 81, 22));
    QCOMPARE(Child<QLabel>(d, "Image1")->geometry(), QRect(0, 0, 121, 296));
    QVERIFY(!Child<QWidget>(d, "SimplePanelUpdate")->isVisible());
    QVERIFY(!Child<QPushButton>(d, "ButtonCancel")->isVisible()); // no Cancel before a check
    QCOMPARE(d->ProgressTag(), 0);
    Shot(d, "update-ready");

    // Sizable: the picture keeps its width and the panel fills the rest.
    d->resize(600, 400);
    QCOMPARE(Child<QLabel>(d, "Image1")->geometry(), QRect(0, 0, 121, 400));
    QCOMPARE(Child<QWidget>(d, "SimplePanelUpdate")->geometry(), QRect(121, 0, 479, 400));
}

void TestUnitUpdater::noUpdate_data()
{
    QTest::addColumn<QString>("why");
    QTest::newRow("same version") << "same";
    QTest::newRow("no matching section") << "mask";
    QTest::newRow("server answers 404") << "404";
    QTest::newRow("server stalls") << "stall";
}

void TestUnitUpdater::noUpdate()
{
    QFETCH(QString, why);
    const QByteArray file = "FileCount=1\nFileSection0=F\n[F]\nSource=@/files/Pellaro\nTarget=%MAIN_DIR%\\Pellaro\n";
    if (why == QLatin1String("same"))
        Descriptor(Installed().toLatin1(), "", file);
    else if (why == QLatin1String("mask"))
        Descriptor(Newer().toLatin1(), "Mask=0.1\n", file);
    else if (why == QLatin1String("404"))
        qputenv("PELLARO_UPDATE_URL", m_server.Url(QStringLiteral("/softwupd/none.ini")).toLatin1());
    else
        qputenv("PELLARO_UPDATE_URL", m_server.Url(QStringLiteral("/stall/files/Pellaro")).toLatin1());
    TFormUpdater* d = NewDialog();
    d->ApplUpdater()->SetTransferTimeout(400);
    auto* check = Child<QPushButton>(d, "ButtonCheckUpdate");
    QTest::mouseClick(check, Qt::LeftButton);
    QVERIFY(!check->isEnabled());
    QVERIFY(Child<QWidget>(d, "SimplePanelUpdate")->isVisible());
    QCOMPARE(Child<QLabel>(d, "LabelUpdate")->text(), QStringLiteral("There is no update available"));
    QVERIFY(Child<QPushButton>(d, "ButtonUpdate")->isHidden());
    auto* cancel = Child<QPushButton>(d, "ButtonCancel");
    QVERIFY(cancel->isVisible() && cancel->isEnabled());
    QCOMPARE(cancel->text(), QStringLiteral("&Cancel"));
    if (why == QLatin1String("same"))
        Shot(d, "update-none");
    QTest::mouseClick(cancel, Qt::LeftButton);
    QCOMPARE(d->result(), int(QDialog::Rejected));
    QVERIFY(!d->isVisible());
    QVERIFY(m_main->isVisible());
}

void TestUnitUpdater::updateAvailableToDone()
{
    // Two files in place, no restart. The descriptor and the first file come slowly (in pieces),
    // so that the dialog can be watched while it waits.
    const QString url = Descriptor(Newer().toLatin1(),
                                   "Mask=" + QByteArray::number(PELLARO_VERSION_MAJOR) + '.' +
                                       QByteArray::number(PELLARO_VERSION_MINOR) +
                                       "\nFileCount=2\nFileSection0=A\nFileSection1=B\nDescriptionCount=3\n"
                                       "Description0=New: faster loading.\nDescription1=Fixed: list sorting.\n"
                                       "Description2=Fixed: the message tab keeps the chosen law.\n",
                                   "[A]\nSource=@/slow/files/Pellaro\nTarget=%MAIN_DIR%\\Pellaro\nSize=60000\n"
                                   "[B]\nSource=@/files/Pellaro.html\nTarget=%MAIN_DIR%\\Pellaro.html\nSize=3000\n");
    qputenv("PELLARO_UPDATE_URL",
            QString(url).replace(QStringLiteral("/softwupd/"), QStringLiteral("/slow/softwupd/")).toLatin1());
    TFormUpdater* d = NewDialog();
    auto* check = Child<QPushButton>(d, "ButtonCheckUpdate");
    auto* panel = Child<QWidget>(d, "SimplePanelUpdate");
    auto* memo = Child<QPlainTextEdit>(d, "MemoUpdate");
    auto* bar = Child<QProgressBar>(d, "ProgressBar1");
    auto* download = Child<QPushButton>(d, "ButtonUpdate");
    auto* cancel = Child<QPushButton>(d, "ButtonCancel");

    // The dialog's own progress handler runs first; the test looks on after it.
    const TUpdater::TProgressEvent dialogHandler = d->ApplUpdater()->OnProgress;
    std::function<void(quint32)> watch;
    d->ApplUpdater()->OnProgress = [&](TUpdater* sender, quint32 pos) {
        dialogHandler(sender, pos);
        if (watch)
            watch(pos);
    };

    // Checking: the button is off, the panel not yet shown, the bar hidden; closing is refused.
    int checkingReports = 0;
    watch = [&](quint32) {
        if (++checkingReports != 2)
            return;
        QVERIFY(!check->isEnabled());
        QVERIFY(!panel->isVisible());
        QVERIFY(!bar->isVisible());
        QCOMPARE(d->ProgressTag(), 0);
        Shot(d, "update-checking");
        d->close();
        QVERIFY(d->isVisible());
    };
    QTest::mouseClick(check, Qt::LeftButton);
    QVERIFY(checkingReports >= 2);
    QCOMPARE(Child<QLabel>(d, "LabelUpdate")->text(),
             QStringLiteral("There is an Update available from v") + Installed() + QStringLiteral(" to v") + Newer());
    QVERIFY(memo->isVisible());
    QVERIFY(!memo->isEnabled());
    QCOMPARE(memo->toPlainText(), QStringLiteral("New: faster loading.\nFixed: list sorting.\n"
                                                 "Fixed: the message tab keeps the chosen law."));
    QVERIFY(!bar->isVisible()); // the descriptor's download only moved the hidden bar
    QVERIFY(download->isVisible() && download->isEnabled());
    QCOMPARE(download->text(), QStringLiteral("&Download"));
    ExpectPlace(download, QRect(192, 232, 65, 25));
    ExpectPlace(cancel, QRect(48, 232, 65, 25));
    Shot(d, "update-available");

    // Downloading: the bar has replaced the text box, both buttons are off, closing is refused.
    bool watched = false;
    int downloadReports = 0;
    watch = [&](quint32 pos) {
        if (++downloadReports != 3)
            return;
        watched = true;
        QVERIFY(bar->isVisible());
        QVERIFY(!memo->isVisible());
        QVERIFY(!download->isEnabled() && !cancel->isEnabled());
        QCOMPARE(bar->maximum(), 60000);
        QCOMPARE(bar->value(), int(pos));
        QVERIFY(pos > 0 && pos < 60000);
        Shot(d, "update-downloading");
        d->close();
        QVERIFY(d->isVisible());
    };
    QTest::mouseClick(download, Qt::LeftButton);
    QVERIFY(watched);

    // Done: still open, both buttons disabled, the last progress shown.
    QVERIFY(d->isVisible());
    QCOMPARE(d->result(), int(QDialog::Rejected)); // not ended: result untouched
    QVERIFY(!download->isEnabled() && !cancel->isEnabled());
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->maximum(), 60000); // set once, from the first report
    QCOMPARE(bar->value(), 3000);    // the second file restarted from 0
    QCOMPARE(d->ProgressTag(), 0);
    QCOMPARE(ReadTestFile(m_updates + QStringLiteral("Pellaro")), QByteArray(60000, 'P'));
    QCOMPARE(ReadTestFile(m_updates + QStringLiteral("Pellaro.html")), QByteArray(3000, 'h'));
    QVERIFY(m_main->isVisible());
    Shot(d, "update-done");
    QTest::qWait(200);
    QVERIFY(!QFile::exists(CopierLog()));
    d->close(); // the platform's close command ends the dialog in Done
    QVERIFY(!d->isVisible());
}

void TestUnitUpdater::emptyDescription()
{
    Descriptor(Newer().toLatin1(), "FileCount=1\nFileSection0=F\n",
               "[F]\nSource=@/files/Pellaro.html\nTarget=%MAIN_DIR%\\Pellaro.html\n");
    TFormUpdater* d = NewDialog();
    QTest::mouseClick(Child<QPushButton>(d, "ButtonCheckUpdate"), Qt::LeftButton);
    QVERIFY(Child<QLabel>(d, "LabelUpdate")->text().startsWith(QStringLiteral("There is an Update available from v")));
    QVERIFY(Child<QPlainTextEdit>(d, "MemoUpdate")->toPlainText().isEmpty());
    QVERIFY(Child<QPushButton>(d, "ButtonUpdate")->isVisible());
}

void TestUnitUpdater::copierEndsWithOk()
{
    Descriptor(Newer().toLatin1(), "FileCount=1\nFileSection0=F\n",
               "[F]\nSource=@/files/Pellaro\nTarget=%MAIN_DIR%\\Pellaro\nSize=60000\nUseTemp=1\nNeedRestart=1\n");
    TFormUpdater* d = NewDialog();
    QTest::mouseClick(Child<QPushButton>(d, "ButtonCheckUpdate"), Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>(d, "ButtonUpdate"), Qt::LeftButton);
    QCOMPARE(d->result(), int(QDialog::Accepted));
    QVERIFY(!d->isVisible());
    // A first file with UseTemp sets the bar up with the iFileSize of before: 0.
    QCOMPARE(Child<QProgressBar>(d, "ProgressBar1")->maximum(), 0);
    QCOMPARE(ReadTestFile(m_updates + QStringLiteral("Pellaro.temp")), QByteArray(60000, 'P'));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(CopierLog()), 5000);
    const QStringList args =
        QString::fromLocal8Bit(ReadTestFile(CopierLog())).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(args, QStringList({QStringLiteral("-id"), QString::number(QCoreApplication::applicationPid()),
                                QStringLiteral("-p"), QCoreApplication::applicationFilePath() + QStringLiteral(" -u"),
                                QStringLiteral("-f"), m_updates + QStringLiteral("Pellaro")}));
}

void TestUnitUpdater::runUpdateDialog_data()
{
    QTest::addColumn<bool>("download");
    QTest::newRow("cancel after the check") << false;
    QTest::newRow("download needing the copier") << true;
}

void TestUnitUpdater::runUpdateDialog()
{
    QFETCH(bool, download);
    Descriptor(Newer().toLatin1(), "FileCount=1\nFileSection0=F\n",
               "[F]\nSource=@/files/Pellaro.html\nTarget=%MAIN_DIR%\\Pellaro.html\nNeedRestart=1\n");
    // The dialog runs modally inside RunUpdateDialog; a timer plays the user.
    bool driven = false;
    QTimer::singleShot(0, m_main.get(), [&] {
        auto* d = m_main->findChild<TFormUpdater*>();
        QVERIFY(d);
        QVERIFY(d->isModal() && d->parentWidget() == m_main.get());
        d->ApplUpdater()->SetCopier(BinDir() + QStringLiteral("/update-copier-standin"));
        Child<QPushButton>(d, "ButtonCheckUpdate")->click();
        Child<QPushButton>(d, download ? "ButtonUpdate" : "ButtonCancel")->click();
        driven = true;
    });
    const bool ok = RunUpdateDialog(m_main.get(), m_work.path());
    QVERIFY(driven);
    QCOMPARE(ok, download);
    QVERIFY(m_main->findChild<TFormUpdater*>() == nullptr); // freed in either case
    if (download)
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(CopierLog()), 5000);
}

void TestUnitUpdater::activationSetsAgain()
{
    TFormUpdater* d = NewDialog();
    d->ApplUpdater()->SetUpdateFile(QStringLiteral("elsewhere.ini"));
    d->ApplUpdater()->SetCurrentVersion(QStringLiteral("0.0.0.1"));
    d->setWindowTitle(QString());
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(d, &activate);
    QCOMPARE(d->ApplUpdater()->UpdateFile(), m_work.path() + QStringLiteral("uPellaro.ini"));
    QCOMPARE(d->ApplUpdater()->GetCurrentVersion(), Installed());
    QCOMPARE(d->windowTitle(), QStringLiteral("Current version ") + Installed());
}

QTEST_MAIN(TestUnitUpdater)
#include "TestUnitUpdater.moc"
