// Load from and save to the test recorder by clicking the main window's buttons.
#include "ModalHelper.h"
#include "RecorderSim.h"
#include "ScriptedMessageService.h"
#include "Startup.h"
#include "TestFolders.h"
#include "UnitConnect.h"
#include "UnitmbAccount.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

namespace {

struct Run
{
    ScriptedMessageService messages;
    PellaroWindows windows;
    QList<int> pauses;
    TFormServerSetup* w() const { return windows.FormServerSetup.get(); }
};

std::unique_ptr<Run> Start(const QString& workFolder)
{
    auto run = std::make_unique<Run>();
    ServerSetupOptions options;
    options.workFolder = workFolder;
    options.programFolder = BinDir();
    options.captureDevices = [] { return QStringList{}; };
    options.openUrl = [](const QUrl&) { return true; };
    Run* r = run.get();
    options.pause = [r](int ms) { r->pauses << ms; };
    run->windows = CreatePellaroWindows(run->messages, std::move(options));
    return run;
}

// Fills the connect dialog when it opens and presses OK; records its title.
void Login(const RecorderSim& sim, QString* title, const QString& password = QStringLiteral("pw"))
{
    WhenModal([&sim, title, password](QWidget* modal) {
        auto* dlg = qobject_cast<TFormConnect*>(modal);
        QVERIFY(dlg);
        *title = dlg->windowTitle();
        dlg->IPAddressEditBox->setText(sim.Host());
        dlg->PortEdit->setValue(sim.Port());
        dlg->UsernameEditBox->setText(QStringLiteral("ADMIN"));
        dlg->PasswordEditBox->setText(password);
        QTest::mouseClick(dlg->OkButton, Qt::LeftButton);
    });
}

QStringList Names(const QTreeWidget* view)
{
    QStringList names;
    for (int i = 0; i < view->topLevelItemCount(); ++i)
        names << view->topLevelItem(i)->text(0);
    return names;
}

} // namespace

class TestWindowTransfer : public QObject
{
    Q_OBJECT

private slots:
    void loadThroughTheWindow();
    void saveThroughTheWindow();
};

void TestWindowTransfer::loadThroughTheWindow()
{
    RecorderSim sim;
    sim.AddAccount("ADMIN", "pw", "1");
    sim.AddAccount("JOHN", "j", "5551234");
    sim.PutFile("BLACK.TXT", "111\r\n");
    // Each reply comes 30 ms late, so the load lasts long enough to look at the window meanwhile.
    QVERIFY2(sim.Start({"--report", "SV-300", "--delay-ms", "30"}), qPrintable(sim.Error));
    TempWorkFolder work;
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));

    bool disabledMeanwhile = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, w, [&] {
        if (w->TransferRunning() && !w->PageControl1->isEnabled() && !w->Save1->isEnabled())
            disabledMeanwhile = true;
    });
    probe.start(20);
    QString title;
    Login(sim, &title);
    QTest::mouseClick(w->ButtonUpdateLocal, Qt::LeftButton);
    probe.stop();

    QCOMPARE(title, QStringLiteral("Load from Sonvault: Login"));
    QCOMPARE(run->messages.Texts(), QStringList{});
    QVERIFY(disabledMeanwhile);
    QVERIFY(w->PageControl1->isEnabled());
    QCOMPARE(Names(w->ListViewUserID), (QStringList{"ADMIN", "JOHN"}));
    QCOMPARE(Names(w->NumberListView), QStringList{"111"});
    QCOMPARE(w->ListViewUserID->headerItem()->text(1), QStringLiteral("Telephone number"));
    QCOMPARE(FilesIn(work.current()), (QStringList{"BLACK.TXT", "USR.ADMIN", "USR.JOHN", "osreply.txt"}));
    QCOMPARE(FilesIn(work.get()), QStringList{});
    // The address of the successful login is kept for the settings file.
    QCOMPARE(w->Address(), sim.Host().toLatin1());
    QCOMPARE(w->Port(), int(sim.Port()));
}

void TestWindowTransfer::saveThroughTheWindow()
{
    RecorderSim sim;
    sim.AddAccount("ADMIN", "pw", "1");
    sim.AddAccount("GONE", "g", "2");
    sim.PutFile("CFG.USR", "a\rb\rc\r0\re\r0\r0\rh\r");
    QVERIFY2(sim.Start({"--report", "SV-300 IST1"}), qPrintable(sim.Error));
    TempWorkFolder work;
    QVERIFY(WriteTestFile(work.current() + "USR.ADMIN", "pw\r\n1\r\n"));
    QVERIFY(WriteTestFile(work.current() + "osreply.txt", "SV-300\r\n"));
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    w->Snapshot().ListMode = 1;
    w->Snapshot().Numbers = {"0301234"};
    w->Snapshot().Modified = true;
    w->ShowSnapshot();

    QString title;
    Login(sim, &title);
    run->messages.Answer(MsgResult::Yes); // the reload question
    w->PageControl1->setCurrentIndex(2);
    QTest::mouseClick(w->ButtonUpdateFaxServer3, Qt::LeftButton);

    QCOMPARE(title, QStringLiteral("Save to Sonvault: Login"));
    QCOMPARE(run->messages.Texts(),
             QStringList{"To load the new black/white list setting the active recordings must be stopped.\nContinue?"});
    QVERIFY(!w->Snapshot().Modified);
    QVERIFY(!sim.HasFile("USR.GONE"));
    QCOMPARE(sim.FileData("BLACK.TXT"), QByteArray("0301234\r\n"));
    QCOMPARE(sim.FileData("CFG.USR"), QByteArray("a\rb\rc\r1\re\r0\r0\rh\r"));
    QCOMPARE(sim.KeyLog().size(), 3);
    QCOMPARE(run->pauses, QList<int>{2000});
    // The recorder's report chose mu-law on the message tab.
    QCOMPARE(w->Snapshot().DeviceReport, QByteArray("200 SV-300 IST1"));
    QCOMPARE(w->AudioFormatChoiceItems->checkedId(), 1);
}

QTEST_MAIN(TestWindowTransfer)
#include "tst_windowtransfer.moc"
