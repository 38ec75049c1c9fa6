// The main window driven through its real widgets, on a temporary work folder, with the
// scripted message boxes.
#include "HttpTestServer.h"
#include "Mbbuttonsf.h"
#include "ModalHelper.h"
#include "ScriptedMessageService.h"
#include "Startup.h"
#include "TestFolders.h"
#include "UnitProgress.h"
#include "UnitConnect.h"
#include "UnitUpdater.h"
#include "UnitUserID.h"
#include "Updater.h"
#include "WorkFolder.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest>

namespace {

using Entry = ScriptedMessageService::Entry;

// One run of the program on a work folder.
struct Run
{
    ScriptedMessageService messages;
    QList<QUrl> opened;
    PellaroWindows windows;

    TFormServerSetup* w() const { return windows.FormServerSetup.get(); }
};

std::unique_ptr<Run> Start(const QString& workFolder, QStringList devices = {}, QStringList arguments = {},
                           QString programFolder = BinDir())
{
    auto run = std::make_unique<Run>();
    ServerSetupOptions options;
    options.workFolder = workFolder;
    options.programFolder = programFolder;
    options.arguments = std::move(arguments);
    options.captureDevices = [devices] { return devices; };
    Run* r = run.get();
    options.openUrl = [r](const QUrl& url) {
        r->opened << url;
        return true;
    };
    run->windows = CreatePellaroWindows(run->messages, std::move(options));
    return run;
}

void WriteAccount(const QString& folder, const QByteArray& name, const QByteArray& password,
                  const QByteArray& number)
{
    QVERIFY(WriteTestFile(folder + "USR." + QString::fromLatin1(name), password + "\r\n" + number + "\r\n"));
}

QStringList Column(const QTreeWidget* view, int column)
{
    QStringList texts;
    for (int i = 0; i < view->topLevelItemCount(); ++i)
        texts << view->topLevelItem(i)->text(column);
    return texts;
}

QTreeWidgetItem* Row(const QTreeWidget* view, const QString& caption)
{
    for (int i = 0; i < view->topLevelItemCount(); ++i) {
        if (view->topLevelItem(i)->text(0) == caption)
            return view->topLevelItem(i);
    }
    return nullptr;
}

int Index(const QTreeWidgetItem* item)
{
    return item->data(0, Qt::UserRole).toInt();
}

void ClickHeader(QTreeWidget* view, int section)
{
    QHeaderView* h = view->header();
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                      QPoint(h->sectionViewportPosition(section) + 10, h->height() / 2));
}

// Fills the account editor when it opens and presses OK (or Escape when ok is false).
void FillEditor(const QString& user, const QString& password, const QString& number, bool ok = true)
{
    WhenModal([=](QWidget* modal) {
        auto* dlg = qobject_cast<TFormFTPAccount*>(modal);
        QVERIFY(dlg);
        if (!user.isNull()) {
            dlg->EditUsername->selectAll();
            QTest::keyClicks(dlg->EditUsername, user);
        }
        if (!password.isNull()) {
            dlg->EditPassword->selectAll();
            QTest::keyClicks(dlg->EditPassword, password);
        }
        if (!number.isNull()) {
            if (dlg->LineMode()) {
                dlg->SpinEditLine->setValue(number.toInt());
            } else {
                dlg->EditNumber->selectAll();
                QTest::keyClicks(dlg->EditNumber, number);
            }
        }
        if (ok)
            QTest::mouseClick(dlg->ButtonOK, Qt::LeftButton);
        else
            QTest::keyClick(dlg->EditUsername, Qt::Key_Escape);
        // A refused OK leaves the dialog open: cancel it so that the test goes on.
        if (dlg->isVisible())
            dlg->reject();
    });
}

// A click on the radio button's circle (the button's middle may lie right of its text).
void ClickRadio(QButtonGroup* group, int id)
{
    QAbstractButton* b = group->button(id);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
}

QLineEdit* NumberEditor(QTreeWidget* view)
{
    return view->findChild<QLineEdit*>(QStringLiteral("NumberEditor"));
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void layout();
    void firstRunOnEmptyDataHome();
    void workFolderCannotBeCreated();
    void placement_data();
    void placement();
    void settingsAcrossRestart();
    void addressArgument();
    void captureDevices_data();
    void captureDevices();
    void sortingKeptAfterRestart();
    void sortColumnOutOfRange_data();
    void sortColumnOutOfRange();
    void newAccount_data();
    void newAccount();
    void duplicateOfLoadedLowerCaseName();
    void editWithEnterKey();
    void deleteAccountRenumbers();
    void deleteAllWithCancel_data();
    void deleteAllWithCancel();
    void recorderTypeAndLineCheck();
    void newNumberCancelled();
    void numberEditing();
    void deleteNumberRenumbers();
    void listModeIsNoChange();
    void listModeOutOfRangeKept();
    void closeQuestion_data();
    void closeQuestion();
    void saveThenCloseStillAsks();
    void failedSaveAtCloseKeepsWindow();
    void checkUpdate_data();
    void checkUpdate();
    void audioLawFromReport_data();
    void audioLawFromReport();
    void messageState_data();
    void messageState();
    void helpAndBrowse();
    void progressWindow();
    void missingPicturesEndTheStart();
};

void TestMainWindow::layout()
{
    TempWorkFolder work;
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    QCOMPARE(w->windowTitle(), QStringLiteral("Pellaro"));
    QCOMPARE(w->minimumSize(), QSize(420, 405));
    QCOMPARE(w->property("helpContext").toInt(), 10);
    QVERIFY(w->statusBar());
    QCOMPARE(w->statusBar()->currentMessage(), QString());

    QCOMPARE(w->PageControl1->count(), 3);
    QCOMPARE(w->PageControl1->tabText(0), QStringLiteral("FTP accounts"));
    QCOMPARE(w->PageControl1->tabText(1), QStringLiteral("Notification message"));
    QCOMPARE(w->PageControl1->tabText(2), QStringLiteral("Black / White List"));

    // Menus with their separators.
    QStringList menus;
    for (QAction* top : w->menuBar()->actions()) {
        QStringList items;
        for (QAction* a : top->menu()->actions())
            items << (a->isSeparator() ? QStringLiteral("-") : a->text());
        menus << top->text() + ": " + items.join(QLatin1Char('|'));
    }
    QCOMPARE(menus, (QStringList{"&File: &Save|-|Browse to the archive directory|-|E&xit",
                                 "Edit: Delete all FTP accounts|Delete all items in number list",
                                 "&Help: &Contents|Check &Update|&About..."}));

    const QList<std::pair<QPushButton*, QString>> buttons{
        {w->ButtonNew, "New"}, {w->ButtonEdit, "Edit"}, {w->ButtonDelete, "Delete"},
        {w->ButtonUpdateLocal, "&Load from Sonvault"}, {w->ButtonUpdateFaxServer, "&Save to Sonvault"},
        {w->DeleteMsg, "&Delete"}, {w->ButtonUpdateLocal2, "&Load from Sonvault"},
        {w->ButtonUpdateFaxServer2, "&Save to Sonvault"}, {w->NewNumberBtn, "&New"}, {w->EditNumberBtn, "&Edit"},
        {w->DeleteNumberBtn, "&Delete"}, {w->ButtonUpdateLocal3, "&Load from Sonvault"},
        {w->ButtonUpdateFaxServer3, "&Save to Sonvault"}};
    for (const auto& [button, caption] : buttons) {
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->size(), QSize(130, 25));
        QCOMPARE(button->parentWidget()->width(), 145);
    }
    const auto radios = [](QButtonGroup* g) {
        QStringList t;
        for (QAbstractButton* b : g->buttons())
            t << b->text();
        return t;
    };
    QCOMPARE(w->RecorderType->title(), QStringLiteral("Recorder type"));
    QCOMPARE(radios(w->RecorderTypeItems), (QStringList{"Ixta", "Other devices"}));
    QCOMPARE(w->AudioFormatChoice->title(), QStringLiteral("Audio recording format"));
    QCOMPARE(radios(w->AudioFormatChoiceItems), (QStringList{"a-Law (other countries)", "mu-Law (U.S.A.)"}));
    QCOMPARE(w->AudioFormatChoiceItems->checkedId(), 0);
    QCOMPARE(w->NumberListGrp->title(), QStringLiteral("Number list"));
    QCOMPARE(radios(w->NumberListGrpItems), (QStringList{"None", "Black list", "White list"}));
    QCOMPARE(w->NumberListGrpItems->checkedId(), 0);

    QCOMPARE(w->ListViewUserID->headerItem()->text(0), QStringLiteral("Name"));
    QCOMPARE(w->ListViewUserID->columnWidth(0), 125);
    QCOMPARE(w->NumberListView->columnCount(), 1);
    QCOMPARE(w->NumberListView->headerItem()->text(0), QStringLiteral("Number"));
    QCOMPARE(w->MbButtons1->objectName(), QStringLiteral("MbButtons1"));
    QCOMPARE(w->MbButtons1->geometry(), QRect(16, 16, 289, 81));
    QCOMPARE(w->RecordLevelPg->value(), 0);

    // The entry created the other windows, owned by the main window.
    QVERIFY(run->windows.FormFTPAccount && run->windows.FormFTPAccount->parent() == w);
    QVERIFY(run->windows.FormProgress && run->windows.FormProgress->parent() == w);
    QVERIFY(run->windows.FormConnect && run->windows.FormConnect->parent() == w);
    QCOMPARE(w->MbButtons1->ButtonCount(), 5);
}

void TestMainWindow::firstRunOnEmptyDataHome()
{
    QTemporaryDir home;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    auto run = Start(QString());
    qputenv("XDG_DATA_HOME", saved);
    TFormServerSetup* w = run->w();

    const QString folder = home.path() + QStringLiteral("/Marbeck/Pellaro/");
    QCOMPARE(w->WorkFolder(), folder);
    QVERIFY(QFileInfo(folder + "current").isDir());
    QVERIFY(QFileInfo(folder + "get").isDir());
    QCOMPARE(w->Port(), 21);
    QVERIFY(w->Address().isEmpty());
    QCOMPARE(w->SortColumn(), 0);
    // An empty local copy: no accounts, no numbers, list mode None, other devices.
    QCOMPARE(w->ListViewUserID->topLevelItemCount(), 0);
    QCOMPARE(w->NumberListView->topLevelItemCount(), 0);
    QCOMPARE(w->NumberListGrpItems->checkedId(), 0);
    QCOMPARE(w->RecorderTypeItems->checkedId(), 1);
    QCOMPARE(w->ListViewUserID->headerItem()->text(1), QStringLiteral("Telephone number"));
    QVERIFY(run->messages.entries.isEmpty());

    // Centred at the design size: 555 x 454 below the menu bar.
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->centralWidget()->height() + w->statusBar()->height(), 454);
    QCOMPARE(w->width(), 555);
    const QRect desk = QGuiApplication::primaryScreen()->availableGeometry();
    // Within the frame's few pixels, which the platform adds when the window is shown.
    QVERIFY(qAbs(w->frameGeometry().center().x() - desk.center().x()) <= 3);
    QVERIFY(qAbs(w->frameGeometry().center().y() - desk.center().y()) <= 3);

    QVERIFY(!QFileInfo::exists(folder + "pellaro.ini"));
    QVERIFY(w->close());
    // The settings file is created at the first close, with all seven keys.
    const QByteArray ini = ReadTestFile(folder + "pellaro.ini");
    for (const char* key : {"[Position]", "PosX=", "PosY=", "Width=555", "Height=", "[Sonvault]", "Address=",
                            "Port=21", "[Visual]", "SortColumn=0"})
        QVERIFY2(ini.contains(key), key);
}

void TestMainWindow::workFolderCannotBeCreated()
{
    QTemporaryDir home;
    // A file where the folder chain should start: the work folder cannot be created.
    QVERIFY(WriteTestFile(home.path() + "/blocked", "x"));
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", (home.path() + "/blocked").toLocal8Bit());
    QString message;
    try {
        auto run = Start(QString());
    } catch (const WorkFolderError& e) {
        message = QString::fromLocal8Bit(e.what());
    }
    qputenv("XDG_DATA_HOME", saved);
    QCOMPARE(message, "Cannot create settings directory " + home.path() + "/blocked/Marbeck/Pellaro");
    QVERIFY(QApplication::topLevelWidgets().isEmpty() ||
            std::none_of(QApplication::topLevelWidgets().cbegin(), QApplication::topLevelWidgets().cend(),
                         [](QWidget* w) { return qobject_cast<TFormServerSetup*>(w) != nullptr; }));
}

void TestMainWindow::placement_data()
{
    QTest::addColumn<QList<int>>("stored");
    QTest::addColumn<bool>("honoured");
    QTest::newRow("291 x 301 honoured") << QList<int>{10, 20, 291, 301} << true;
    QTest::newRow("larger honoured") << QList<int>{0, 0, 640, 480} << true;
    QTest::newRow("width 290 centred") << QList<int>{10, 20, 290, 400} << false;
    QTest::newRow("height 300 centred") << QList<int>{10, 20, 400, 300} << false;
    QTest::newRow("negative x centred") << QList<int>{-5, 20, 600, 500} << false;
    QTest::newRow("negative y centred") << QList<int>{5, -1, 600, 500} << false;
}

void TestMainWindow::placement()
{
    QFETCH(QList<int>, stored);
    QFETCH(bool, honoured);
    TempWorkFolder work;
    QVERIFY(WriteTestFile(work.path() + "pellaro.ini",
                          QStringLiteral("[Position]\nPosX=%1\nPosY=%2\nWidth=%3\nHeight=%4\n")
                              .arg(stored[0]).arg(stored[1]).arg(stored[2]).arg(stored[3]).toLatin1()));
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    if (honoured) {
        // The place and size are taken as stored; the window's minimum size still applies.
        QCOMPARE(w->pos(), QPoint(stored[0], stored[1]));
        QCOMPARE(w->size(), QSize(stored[2], stored[3]).expandedTo(w->minimumSize()));
    } else {
        QCOMPARE(w->width(), 555);
        const QRect desk = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(qAbs(w->frameGeometry().center().x() - desk.center().x()) <= 1);
    }
}

void TestMainWindow::settingsAcrossRestart()
{
    TempWorkFolder work;
    {
        auto run = Start(work.path());
        TFormServerSetup* w = run->w();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->move(40, 30);
        w->resize(610, 520);
        w->SetAddress("192.168.10.20");
        w->SetPort(2121);
        ClickHeader(w->ListViewUserID, 1);
        QCOMPARE(w->SortColumn(), 1);
        QVERIFY(w->close());
    }
    const Settings s = ReadSettings(work.path() + "pellaro.ini");
    QCOMPARE(QList<int>({s.PosX, s.PosY, s.Width, s.Height, s.Port, s.SortColumn}),
             QList<int>({40, 30, 610, 520, 2121, 1}));
    QCOMPARE(s.Address, QByteArray("192.168.10.20"));
    // The settings hold no user name and no password.
    QVERIFY(!ReadTestFile(work.path() + "pellaro.ini").toLower().contains("pass"));

    auto again = Start(work.path());
    QCOMPARE(again->w()->pos(), QPoint(40, 30));
    QCOMPARE(again->w()->size(), QSize(610, 520));
    QCOMPARE(again->w()->Address(), QByteArray("192.168.10.20"));
    QCOMPARE(again->w()->Port(), 2121);
    QCOMPARE(again->w()->SortColumn(), 1);
}

void TestMainWindow::addressArgument()
{
    TempWorkFolder work;
    QVERIFY(WriteTestFile(work.path() + "pellaro.ini", "[Sonvault]\nAddress=stored.host\nPort=2000\n"));
    auto plain = Start(work.path());
    QCOMPARE(plain->w()->Address(), QByteArray("stored.host"));
    QCOMPARE(plain->w()->Port(), 2000);
    // "-u" is what the update copier passes when it restarts the program.
    auto given = Start(work.path(), {}, {QStringLiteral("-u"), QStringLiteral("address=rec.example")});
    QCOMPARE(given->w()->Address(), QByteArray("REC.EXAMPLE"));
}

void TestMainWindow::captureDevices_data()
{
    QTest::addColumn<QStringList>("devices");
    QTest::newRow("no input device") << QStringList{};
    QTest::newRow("two devices") << QStringList{"USB Headset", "Built-in Microphone"};
}

void TestMainWindow::captureDevices()
{
    QFETCH(QStringList, devices);
    TempWorkFolder work;
    auto run = Start(work.path(), devices);
    QStringList items;
    for (int i = 0; i < run->w()->RecordDevicesCB->count(); ++i)
        items << run->w()->RecordDevicesCB->itemText(i);
    QCOMPARE(items, QStringList{"Default Audio Device"} + devices);
    QCOMPARE(run->w()->RecordDevicesCB->currentIndex(), 0);
}

void TestMainWindow::sortingKeptAfterRestart()
{
    TempWorkFolder work;
    WriteAccount(work.current(), "bob", "b", "3");
    WriteAccount(work.current(), "Alice", "a", "1");
    WriteAccount(work.current(), "ALAN", "c", "2");
    {
        auto run = Start(work.path());
        TFormServerSetup* w = run->w();
        QCOMPARE(Column(w->ListViewUserID, 0), (QStringList{"ALAN", "Alice", "bob"}));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        ClickHeader(w->ListViewUserID, 1);
        QCOMPARE(Column(w->ListViewUserID, 0), (QStringList{"Alice", "ALAN", "bob"}));
        ClickHeader(w->ListViewUserID, 0);
        QCOMPARE(Column(w->ListViewUserID, 0), (QStringList{"ALAN", "Alice", "bob"}));
        ClickHeader(w->ListViewUserID, 1);
        // Every row still points at its own account.
        for (int i = 0; i < 3; ++i) {
            const QTreeWidgetItem* row = w->ListViewUserID->topLevelItem(i);
            QCOMPARE(row->text(0).toLatin1(), w->Snapshot().Accounts[Index(row)].Name);
        }
        QVERIFY(w->close());
    }
    auto again = Start(work.path());
    QCOMPARE(again->w()->SortColumn(), 1);
    QCOMPARE(Column(again->w()->ListViewUserID, 1), (QStringList{"1", "2", "3"}));
    QCOMPARE(again->w()->ListViewUserID->headerItem()->text(1), QStringLiteral("Telephone number"));
}

void TestMainWindow::sortColumnOutOfRange_data()
{
    QTest::addColumn<int>("column");
    QTest::newRow("2") << 2;
    QTest::newRow("7") << 7;
    QTest::newRow("-1") << -1;
}

void TestMainWindow::sortColumnOutOfRange()
{
    QFETCH(int, column);
    TempWorkFolder work;
    QVERIFY(WriteTestFile(work.path() + "pellaro.ini", "[Visual]\nSortColumn=" + QByteArray::number(column) + "\n"));
    WriteAccount(work.current(), "bob", "b", "3");
    WriteAccount(work.current(), "Alice", "a", "1");
    WriteAccount(work.current(), "ALAN", "c", "2");
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    QCOMPARE(w->SortColumn(), column);
    // Every pair compares equal: the rows stay in the order of the accounts.
    QCOMPARE(w->ListViewUserID->topLevelItemCount(), 3);
    for (int i = 0; i < 3; ++i) {
        const QTreeWidgetItem* row = w->ListViewUserID->topLevelItem(i);
        QCOMPARE(Index(row), i);
        QCOMPARE(w->ListViewUserIDCompare(row, w->ListViewUserID->topLevelItem((i + 1) % 3)), 0);
    }
    // A new account is added at the end, unsorted, and the column survives the close.
    FillEditor(QStringLiteral("aaron"), QStringLiteral("pw"), QStringLiteral("5"));
    QTest::mouseClick(w->ButtonNew, Qt::LeftButton);
    QCOMPARE(Column(w->ListViewUserID, 0).last(), QStringLiteral("AARON"));
    run->messages.Answer(MsgResult::No);
    QVERIFY(w->close());
    QCOMPARE(ReadSettings(work.path() + "pellaro.ini").SortColumn, column);
}

void TestMainWindow::newAccount_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("other devices: telephone number") << QByteArray("SONVAULT X") << "030 1234" << QByteArray("0301234");
    QTest::newRow("Ixta: line from the spin field") << QByteArray("IXTA") << "6" << QByteArray("6");
    QTest::newRow("Ixta: default line 4") << QByteArray("IXTA") << QString() << QByteArray("4");
}

void TestMainWindow::newAccount()
{
    QFETCH(QByteArray, report);
    QFETCH(QString, number);
    QFETCH(QByteArray, stored);
    TempWorkFolder work;
    QVERIFY(WriteTestFile(work.current() + "osreply.txt", report + "\r\n"));
    WriteAccount(work.current(), "ZOE", "z", "1");
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    FillEditor(QStringLiteral("anna"), QStringLiteral("secret"), number);
    QTest::mouseClick(w->ButtonNew, Qt::LeftButton);
    QCOMPARE(w->Snapshot().Accounts.size(), 2);
    QCOMPARE(w->Snapshot().Accounts[1], (tFTPInfo{"ANNA", "secret", stored}));
    QVERIFY(w->Snapshot().Modified);
    // Shown in upper case, sorted in, selected, pointing at the new account.
    QCOMPARE(Column(w->ListViewUserID, 0), (QStringList{"ANNA", "ZOE"}));
    QTreeWidgetItem* row = w->ListViewUserID->topLevelItem(0);
    QVERIFY(row->isSelected());
    QCOMPARE(Index(row), 1);
    QCOMPARE(row->text(1).toLatin1(), stored);

    // Cancel changes nothing.
    FillEditor(QStringLiteral("mary"), QStringLiteral("pw"), QStringLiteral("1"), false);
    QTest::mouseClick(w->ButtonNew, Qt::LeftButton);
    QCOMPARE(w->Snapshot().Accounts.size(), 2);
    QCOMPARE(w->ListViewUserID->topLevelItemCount(), 2);
}

void TestMainWindow::duplicateOfLoadedLowerCaseName()
{
    TempWorkFolder work;
    WriteAccount(work.current(), "anna", "pw", "3");
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    QCOMPARE(w->Snapshot().Accounts[0].Name, QByteArray("anna"));
    FillEditor(QStringLiteral("ANNA"), QStringLiteral("x"), QStringLiteral("1"));
    QTest::mouseClick(w->ButtonNew, Qt::LeftButton);
    QCOMPARE(run->messages.Texts(), QStringList{"FTP Username ANNA is already in use."});
    QCOMPARE(w->Snapshot().Accounts.size(), 1);
    QVERIFY(!w->Snapshot().Modified);
}

void TestMainWindow::editWithEnterKey()
{
    TempWorkFolder work;
    QVERIFY(WriteTestFile(work.current() + "osreply.txt", "IXTA\r\n"));
    WriteAccount(work.current(), "ALAN", "a", "not a line");
    WriteAccount(work.current(), "BOB", "b", "2");
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTreeWidgetItem* alan = Row(w->ListViewUserID, QStringLiteral("ALAN"));
    w->ListViewUserID->setCurrentItem(alan);

    // Enter opens the editor on the account; a number that is no line shows 4; the new name
    // is stored in upper case and the list is not sorted again.
    int shownLine = 0;
    QString caption;
    WhenModal([&](QWidget* modal) {
        auto* dlg = qobject_cast<TFormFTPAccount*>(modal);
        caption = dlg->windowTitle();
        shownLine = dlg->SpinEditLine->value();
        dlg->EditUsername->selectAll();
        QTest::keyClicks(dlg->EditUsername, QStringLiteral("zed"));
        QTest::keyPress(dlg->EditUsername, Qt::Key_Return); // the default button closes on the press
        if (dlg->isVisible())
            dlg->reject();
    });
    QTest::keyClick(w->ListViewUserID, Qt::Key_Return);
    // The release of that Return reaches the list once the editor is gone: it must not open
    // the editor again.
    bool reopened = false;
    WhenModal(
        [&](QWidget* modal) {
            reopened = true;
            static_cast<QDialog*>(modal)->reject();
        },
        200);
    QTest::keyRelease(w->ListViewUserID, Qt::Key_Return);
    QTest::qWait(250);
    QVERIFY(!reopened);
    QCOMPARE(caption, QStringLiteral("Edit FTP User"));
    QCOMPARE(shownLine, 4);
    QCOMPARE(w->Snapshot().Accounts[Index(alan)], (tFTPInfo{"ZED", "a", "4"}));
    QCOMPARE(Column(w->ListViewUserID, 0), (QStringList{"ZED", "BOB"}));
    QCOMPARE(alan->text(1), QStringLiteral("4"));
    QVERIFY(w->Snapshot().Modified);

    // Without a selection Edit does nothing.
    w->ListViewUserID->clearSelection();
    QTest::mouseClick(w->ButtonEdit, Qt::LeftButton);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestMainWindow::deleteAccountRenumbers()
{
    TempWorkFolder work;
    WriteAccount(work.current(), "A", "1", "1");
    WriteAccount(work.current(), "B", "2", "2");
    WriteAccount(work.current(), "C", "3", "3");
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    QTreeWidgetItem* target = nullptr;
    for (int i = 0; i < 3; ++i) {
        if (Index(w->ListViewUserID->topLevelItem(i)) == 1)
            target = w->ListViewUserID->topLevelItem(i);
    }
    const QString name = target->text(0);
    w->ListViewUserID->setCurrentItem(target);

    run->messages.Answer(MsgResult::No);
    QTest::keyClick(w->ListViewUserID, Qt::Key_Delete);
    QCOMPARE(w->Snapshot().Accounts.size(), 3);
    QVERIFY(!w->Snapshot().Modified);

    QTest::keyClick(w->ListViewUserID, Qt::Key_Delete); // answered Yes
    const Entry& ask = run->messages.entries.last();
    QCOMPARE(ask.text, "Do you want to delete the entry for " + name + "?");
    QCOMPARE(ask.caption, QStringLiteral("Pellaro"));
    QCOMPARE(ask.icon, MsgIcon::Question);
    QCOMPARE(ask.buttons, MsgButtons::YesNo);
    QCOMPARE(w->Snapshot().Accounts.size(), 2);
    QVERIFY(w->Snapshot().Modified);
    QCOMPARE(w->ListViewUserID->topLevelItemCount(), 2);
    QList<int> indices;
    for (int i = 0; i < 2; ++i) {
        const QTreeWidgetItem* row = w->ListViewUserID->topLevelItem(i);
        indices << Index(row);
        QCOMPARE(row->text(0).toLatin1(), w->Snapshot().Accounts[Index(row)].Name);
        QVERIFY(row->text(0) != name);
    }
    std::sort(indices.begin(), indices.end());
    QCOMPARE(indices, (QList<int>{0, 1}));
}

void TestMainWindow::deleteAllWithCancel_data()
{
    QTest::addColumn<bool>("accounts");
    QTest::addColumn<int>("answer");
    QTest::newRow("accounts, Cancel") << true << int(MsgResult::Cancel);
    QTest::newRow("accounts, OK") << true << int(MsgResult::Ok);
    QTest::newRow("numbers, Cancel") << false << int(MsgResult::Cancel);
    QTest::newRow("numbers, OK") << false << int(MsgResult::Ok);
}

void TestMainWindow::deleteAllWithCancel()
{
    QFETCH(bool, accounts);
    QFETCH(int, answer);
    TempWorkFolder work;
    WriteAccount(work.current(), "A", "1", "1");
    WriteAccount(work.current(), "B", "2", "2");
    QVERIFY(WriteTestFile(work.current() + "BLACK.TXT", "111\r\n222\r\n"));
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    run->messages.Answer(MsgResult(answer));
    (accounts ? w->Deleteall1 : w->Deleteallitemsinnumberlist1)->trigger();
    const Entry& ask = run->messages.entries.last();
    QCOMPARE(ask.text, accounts ? QStringLiteral("All FTP account entries will be deleted.")
                                : QStringLiteral("The number list will be cleared."));
    QCOMPARE(ask.caption, QStringLiteral("Pellaro"));
    QCOMPARE(ask.icon, MsgIcon::Warning);
    QCOMPARE(ask.buttons, MsgButtons::OkCancel);
    const bool cleared = MsgResult(answer) == MsgResult::Ok;
    QCOMPARE(w->Snapshot().Modified, cleared);
    QCOMPARE(w->Snapshot().Accounts.size(), accounts && cleared ? 0 : 2);
    QCOMPARE(w->ListViewUserID->topLevelItemCount(), accounts && cleared ? 0 : 2);
    QCOMPARE(w->Snapshot().Numbers.size(), !accounts && cleared ? 0 : 2);
    QCOMPARE(w->NumberListView->topLevelItemCount(), !accounts && cleared ? 0 : 2);
}

void TestMainWindow::recorderTypeAndLineCheck()
{
    TempWorkFolder work;
    WriteAccount(work.current(), "JOHN", "pw", "0301234");
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->RecorderTypeItems->checkedId(), 1);

    // Clicking the selected type changes nothing.
    ClickRadio(w->RecorderTypeItems, 1);
    QVERIFY(!w->Snapshot().Modified);
    QVERIFY(w->CheckLineNumbers());

    ClickRadio(w->RecorderTypeItems, 0);
    QCOMPARE(w->Snapshot().RecorderType, 0);
    QVERIFY(w->Snapshot().Modified);
    QCOMPARE(w->ListViewUserID->headerItem()->text(1), QStringLiteral("Line"));
    QCOMPARE(w->Snapshot().Accounts[0].Number, QByteArray("0301234")); // never converted
    QVERIFY(!w->CheckLineNumbers());
    QCOMPARE(run->messages.entries.size(), 1);
    QVERIFY(run->messages.entries[0].text.startsWith("User JOHN is assigned an invalid line number.\n"));

    ClickRadio(w->RecorderTypeItems, 1);
    QCOMPARE(w->ListViewUserID->headerItem()->text(1), QStringLiteral("Telephone number"));
    QVERIFY(w->CheckLineNumbers());
    QCOMPARE(run->messages.entries.size(), 1);
}

void TestMainWindow::newNumberCancelled()
{
    TempWorkFolder work;
    QVERIFY(WriteTestFile(work.current() + "BLACK.TXT", "111\r\n"));
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    w->PageControl1->setCurrentIndex(2);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTest::mouseClick(w->NewNumberBtn, Qt::LeftButton);
    QLineEdit* editor = NumberEditor(w->NumberListView);
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_Escape);
    // The empty number stays in memory and marks the snapshot as changed...
    QCOMPARE(w->Snapshot().Numbers, (QList<QByteArray>{"111", ""}));
    QVERIFY(w->Snapshot().Modified);
    QCOMPARE(w->NumberListView->topLevelItemCount(), 2);
    // ...and is gone after writing and reading the local copy.
    w->Save1->trigger();
    ConfigSnapshot back;
    QVERIFY(LoadSnapshot(back, work.current(), run->messages));
    QCOMPARE(back.Numbers, QList<QByteArray>{"111"});
}

void TestMainWindow::numberEditing()
{
    TempWorkFolder work;
    QVERIFY(WriteTestFile(work.current() + "BLACK.TXT", "555\r\n"));
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    w->PageControl1->setCurrentIndex(2);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTreeWidget* view = w->NumberListView;

    // Insert starts a new number; the accepted text reaches the list; the same number twice is kept.
    for (int i = 0; i < 2; ++i) {
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Insert);
        QLineEdit* editor = NumberEditor(view);
        QVERIFY(editor);
        QTest::keyClicks(editor, QStringLiteral("0301 234"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!NumberEditor(view));
    }
    QCOMPARE(w->Snapshot().Numbers, (QList<QByteArray>{"555", "0301 234", "0301 234"}));
    QVERIFY(w->Snapshot().Modified);

    // F2 edits the selected number in place.
    w->Snapshot().Modified = false;
    QTreeWidgetItem* item = Row(view, QStringLiteral("555"));
    view->setCurrentItem(item);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_F2);
    QLineEdit* editor = NumberEditor(view);
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("556"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!NumberEditor(view));
    QCOMPARE(w->Snapshot().Numbers[0], QByteArray("556"));
    QVERIFY(w->Snapshot().Modified);

    // Accepting an unchanged text is no change.
    w->Snapshot().Modified = false;
    view->setCurrentItem(Row(view, QStringLiteral("556")));
    QTest::mouseClick(w->EditNumberBtn, Qt::LeftButton);
    editor = NumberEditor(view);
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!NumberEditor(view));
    QVERIFY(!w->Snapshot().Modified);
}

void TestMainWindow::deleteNumberRenumbers()
{
    TempWorkFolder work;
    QVERIFY(WriteTestFile(work.current() + "BLACK.TXT", "333\r\n111\r\n222\r\n"));
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    QTreeWidget* view = w->NumberListView;
    QTreeWidgetItem* first = Row(view, QStringLiteral("333"));
    QCOMPARE(Index(first), 0);
    view->setCurrentItem(first);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Delete); // answered Yes
    const Entry& ask = run->messages.entries.last();
    QCOMPARE(ask.text, QStringLiteral("Do you want to delete the number 333 from the list?"));
    QCOMPARE(ask.caption, QStringLiteral("Pellaro"));
    QCOMPARE(ask.icon, MsgIcon::Question);
    QCOMPARE(ask.buttons, MsgButtons::YesNo);
    QCOMPARE(w->Snapshot().Numbers, (QList<QByteArray>{"111", "222"}));
    QCOMPARE(Index(Row(view, QStringLiteral("111"))), 0);
    QCOMPARE(Index(Row(view, QStringLiteral("222"))), 1);
    QVERIFY(w->Snapshot().Modified);

    // An edit after the renumbering changes the right number.
    view->setCurrentItem(Row(view, QStringLiteral("222")));
    QTest::mouseClick(w->EditNumberBtn, Qt::LeftButton);
    QLineEdit* editor = NumberEditor(view);
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("999"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(w->Snapshot().Numbers, (QList<QByteArray>{"111", "999"}));

    // No deletes nothing.
    run->messages.Answer(MsgResult::No);
    QTest::mouseClick(w->DeleteNumberBtn, Qt::LeftButton);
    QCOMPARE(w->Snapshot().Numbers.size(), 2);
}

void TestMainWindow::listModeIsNoChange()
{
    TempWorkFolder work;
    const QByteArray cfg("a\r\nb\r\nc\r\n0\r\ne\r\nf\r\ng\r\nh\r\n");
    QVERIFY(WriteTestFile(work.current() + "CFG.USR", cfg));
    QVERIFY(WriteTestFile(work.current() + "BLACK.TXT", "1\r\n"));
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    w->PageControl1->setCurrentIndex(2);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    ClickRadio(w->NumberListGrpItems, 2);
    QCOMPARE(w->Snapshot().ListMode, 2);
    QVERIFY(!w->Snapshot().Modified);
    QVERIFY(w->close());
    QVERIFY(run->messages.entries.isEmpty()); // nothing asked
    QCOMPARE(ReadTestFile(work.current() + "CFG.USR"), cfg);
    QCOMPARE(FilesIn(work.current()), (QStringList{"BLACK.TXT", "CFG.USR"}));
}

void TestMainWindow::listModeOutOfRangeKept()
{
    // A list mode the program does not know (7 in line 4 for other devices) selects no item and
    // is written back unchanged.
    TempWorkFolder work;
    QVERIFY(WriteTestFile(work.current() + "CFG.USR", "a\rb\rc\r7\re\rf\rg\rh\r"));
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    QCOMPARE(w->Snapshot().ListMode, 7);
    QCOMPARE(w->NumberListGrpItems->checkedId(), -1);
    w->Save1->trigger();
    QCOMPARE(ReadTestFile(work.current() + "CFG.USR"), QByteArray("a\rb\rc\r7\re\rf\rg\rh\r"));
    // Choosing a mode afterwards works as usual.
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    w->PageControl1->setCurrentIndex(2);
    ClickRadio(w->NumberListGrpItems, 1);
    QCOMPARE(w->Snapshot().ListMode, 1);
    QCOMPARE(w->NumberListGrpItems->checkedId(), 1);
}

void TestMainWindow::closeQuestion_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closed");
    QTest::newRow("Yes") << int(MsgResult::Yes) << true;
    QTest::newRow("No") << int(MsgResult::No) << true;
    QTest::newRow("Cancel") << int(MsgResult::Cancel) << false;
}

void TestMainWindow::closeQuestion()
{
    QFETCH(int, answer);
    QFETCH(bool, closed);
    TempWorkFolder work;
    WriteAccount(work.current(), "A", "1", "1");
    WriteAccount(work.current(), "B", "2", "2");
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    w->ListViewUserID->setCurrentItem(Row(w->ListViewUserID, QStringLiteral("B")));
    QTest::mouseClick(w->ButtonDelete, Qt::LeftButton);
    QVERIFY(w->Snapshot().Modified);
    run->messages.Clear();

    run->messages.Answer(MsgResult(answer));
    QString loginTitle;
    if (MsgResult(answer) == MsgResult::Yes) {
        // Yes runs the save to the recorder; its login is cancelled here.
        WhenModal([&loginTitle](QWidget* modal) {
            loginTitle = modal->windowTitle();
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
        });
    }
    w->Exit1->trigger();
    if (MsgResult(answer) == MsgResult::Yes)
        QCOMPARE(loginTitle, QStringLiteral("Save to Sonvault: Login"));
    QCOMPARE(run->messages.entries.size(), 1);
    const Entry& ask = run->messages.entries[0];
    QCOMPARE(ask.text, QStringLiteral("Some data has changed. Do you want to upload it to the Sonvault?"));
    QCOMPARE(ask.caption, QStringLiteral("Closing"));
    QCOMPARE(ask.icon, MsgIcon::Question);
    QCOMPARE(ask.buttons, MsgButtons::YesNoCancel);
    QCOMPARE(w->isVisible(), !closed);
    // After Yes (the save to the recorder not done) or No, the edits are in the local copy.
    QCOMPARE(FilesIn(work.current()).contains("USR.B"), !closed);
    QCOMPARE(QFileInfo::exists(work.path() + "pellaro.ini"), closed);
    if (closed) {
        QCOMPARE(FilesIn(work.current()), (QStringList{"BLACK.TXT", "USR.A", "osreply.txt"}));
    } else {
        // Cancel: nothing written, the window asks again next time.
        run->messages.Answer(MsgResult::No);
        QVERIFY(w->close());
        QCOMPARE(run->messages.entries.size(), 2);
    }
}

void TestMainWindow::saveThenCloseStillAsks()
{
    TempWorkFolder work;
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    FillEditor(QStringLiteral("anna"), QStringLiteral("pw"), QStringLiteral("1"));
    QTest::mouseClick(w->ButtonNew, Qt::LeftButton);
    w->Save1->trigger();
    QCOMPARE(ReadTestFile(work.current() + "USR.ANNA"), QByteArray("pw\r\n1\r\n"));
    QVERIFY(w->Snapshot().Modified);
    run->messages.Answer(MsgResult::Cancel);
    QVERIFY(!w->close());
    QCOMPARE(run->messages.Texts(), QStringList{"Some data has changed. Do you want to upload it to the Sonvault?"});
}

void TestMainWindow::failedSaveAtCloseKeepsWindow()
{
    TempWorkFolder work;
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    // A name that cannot be a file name: the local copy cannot be written.
    FillEditor(QStringLiteral("a/b"), QStringLiteral("pw"), QStringLiteral("1"));
    QTest::mouseClick(w->ButtonNew, Qt::LeftButton);
    QCOMPARE(w->Snapshot().Accounts.size(), 1);

    run->messages.Answer(MsgResult::No);  // do not upload
    run->messages.Answer(MsgResult::Yes); // keep the window open
    QVERIFY(!w->close());
    QVERIFY(w->isVisible());
    QCOMPARE(run->messages.entries.size(), 3);
    QCOMPARE(run->messages.entries[1].kind, Entry::Error);
    QVERIFY(run->messages.entries[1].text.startsWith("Cannot create file"));
    const Entry& keep = run->messages.entries[2];
    QCOMPARE(keep.caption, QStringLiteral("Closing"));
    QCOMPARE(keep.icon, MsgIcon::Warning);
    QCOMPARE(keep.buttons, MsgButtons::YesNo);
    QVERIFY(keep.text.startsWith("The changes could not be written to the local copy"));
    QVERIFY(w->Snapshot().Modified);
    QCOMPARE(w->Snapshot().Accounts.size(), 1); // nothing lost

    // The user renames the account; the next close writes it.
    w->ListViewUserID->setCurrentItem(w->ListViewUserID->topLevelItem(0));
    FillEditor(QStringLiteral("ab"), QString(), QString());
    QTest::mouseClick(w->ButtonEdit, Qt::LeftButton);
    run->messages.Clear();
    run->messages.Answer(MsgResult::No);
    QVERIFY(w->close());
    QCOMPARE(ReadTestFile(work.current() + "USR.AB"), QByteArray("pw\r\n1\r\n"));

    // Choosing to close anyway closes.
    auto other = Start(work.path());
    other->w()->Snapshot().Accounts.append({"x/y", "p", "1"});
    other->w()->Snapshot().Modified = true;
    other->messages.Answer(MsgResult::No);
    other->messages.Answer(MsgResult::No);
    QVERIFY(other->w()->close());
}

void TestMainWindow::checkUpdate_data()
{
    QTest::addColumn<bool>("offered");  // a newer version whose file needs the copier
    QTest::addColumn<bool>("modified"); // unsaved edits when the dialog ends
    QTest::addColumn<int>("answer");    // to the close question
    QTest::addColumn<bool>("closed");
    QTest::newRow("update, nothing changed") << true << false << int(MsgResult::Yes) << true;
    QTest::newRow("update, changes, No") << true << true << int(MsgResult::No) << true;
    QTest::newRow("update, changes, Cancel") << true << true << int(MsgResult::Cancel) << false;
    QTest::newRow("no update") << false << true << int(MsgResult::No) << false;
}

void TestMainWindow::checkUpdate()
{
    QFETCH(bool, offered);
    QFETCH(bool, modified);
    QFETCH(int, answer);
    QFETCH(bool, closed);

    // Downloads go below a private data folder; the copier is the stand-in that logs its
    // arguments, never the program beside pellaro.
    QTemporaryDir data;
    const QString copierLog = data.path() + "/copier.log";
    const QString updates = data.path() + "/Marbeck/Updates/";
    const QByteArray savedHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    qputenv("PELLARO_COPIER_LOG", copierLog.toLocal8Bit());
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_DATA_HOME", savedHome);
        qunsetenv("PELLARO_COPIER_LOG");
        qunsetenv("PELLARO_UPDATE_URL");
    });
    HttpTestServer server;
    QVERIFY2(server.Start(), qPrintable(server.ErrorText()));
    QVERIFY(server.Put("files/Pellaro", QByteArray(5000, 'P')));
    const QByteArray latest = offered ? QByteArray("99999.0.0.0") : CompiledVersion().toLatin1();
    QVERIFY(server.Put("softwupd/Pellaro.ini",
                       "[General]\nLatestVersion=" + latest + "\nVersionCount=1\nVersionSection0=S\n"
                       "[S]\nFileCount=1\nFileSection0=F\nDescriptionCount=1\nDescription0=New build.\n"
                       "[F]\nSource=" + server.Url("/files/Pellaro").toLatin1() +
                       "\nTarget=%MAIN_DIR%\\Pellaro\nSize=5000\nUseTemp=1\nNeedRestart=1\n"));
    qputenv("PELLARO_UPDATE_URL", server.Url("/softwupd/Pellaro.ini").toLatin1());

    TempWorkFolder work;
    WriteAccount(work.current(), "A", "1", "1");
    WriteAccount(work.current(), "B", "2", "2");
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    if (modified) {
        w->ListViewUserID->setCurrentItem(Row(w->ListViewUserID, QStringLiteral("B")));
        QTest::mouseClick(w->ButtonDelete, Qt::LeftButton);
        QVERIFY(w->Snapshot().Modified);
    }
    run->messages.Clear();
    run->messages.Answer(MsgResult(answer));

    // The dialog runs modally inside the menu command; the user checks, then downloads
    // what is offered or cancels.
    QString label;
    bool driven = false;
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<TFormUpdater*>(modal);
        if (!dialog) {
            if (auto* other = qobject_cast<QDialog*>(modal))
                other->reject();
            return;
        }
        dialog->ApplUpdater()->SetCopier(BinDir() + "/update-copier-standin");
        dialog->ApplUpdater()->SetTransferTimeout(5000);
        dialog->findChild<QPushButton*>("ButtonCheckUpdate")->click();
        label = dialog->findChild<QLabel*>("LabelUpdate")->text();
        auto* download = dialog->findChild<QPushButton*>("ButtonUpdate");
        if (!download->isHidden())
            download->click();
        if (dialog->isVisible())
            dialog->findChild<QPushButton*>("ButtonCancel")->click();
        if (dialog->isVisible()) // stuck in Done: the test fails below, without hanging
            dialog->done(QDialog::Rejected);
        driven = true;
    });
    w->CheckUpdate1->trigger();
    QVERIFY(driven);
    QVERIFY(w->findChild<TFormUpdater*>() == nullptr); // freed in either case
    QCOMPARE(label.startsWith("There is an Update available from v"), offered);
    if (!offered)
        QCOMPARE(label, QStringLiteral("There is no update available"));

    // OK goes through the ordinary close path: the question only with unsaved edits.
    QCOMPARE(w->isVisible(), !closed);
    QCOMPARE(run->messages.entries.size(), offered && modified ? 1 : 0);
    if (!run->messages.entries.isEmpty()) {
        QCOMPARE(run->messages.entries[0].text,
                 QStringLiteral("Some data has changed. Do you want to upload it to the Sonvault?"));
        QCOMPARE(run->messages.entries[0].buttons, MsgButtons::YesNoCancel);
    }
    QCOMPARE(QFileInfo::exists(work.path() + "pellaro.ini"), closed);
    if (modified)
        QCOMPARE(FilesIn(work.current()).contains("USR.B"), !closed); // No writes the edits
    if (offered) {
        // The copier runs even when the window stays open.
        QCOMPARE(ReadTestFile(updates + "Pellaro.temp"), QByteArray(5000, 'P'));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(copierLog), 5000);
        const QStringList args =
            QString::fromLocal8Bit(ReadTestFile(copierLog)).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(args.value(0), QStringLiteral("-id"));
        QCOMPARE(args.mid(4), (QStringList{"-f", updates + "Pellaro"}));
    } else {
        QVERIFY(!QFile::exists(updates + "Pellaro.temp") && !QFile::exists(updates + "Pellaro"));
        QVERIFY(!QFile::exists(copierLog));
    }
    if (!closed) {
        run->messages.Answer(MsgResult::No);
        QVERIFY(w->close());
    }
}

void TestMainWindow::audioLawFromReport_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<int>("userChoice");
    QTest::addColumn<int>("shown");
    QTest::newRow("ISE1: a-law") << QByteArray("SV ISE1") << 1 << 0;
    QTest::newRow("IST1: mu-law") << QByteArray("SV IST1") << 0 << 1;
    QTest::newRow("both: a-law") << QByteArray("IST1 ISE1") << 1 << 0;
    QTest::newRow("neither keeps mu-law") << QByteArray("SV 2.0") << 1 << 1;
    QTest::newRow("neither keeps a-law") << QByteArray("SV 2.0") << 0 << 0;
    QTest::newRow("lower case is neither") << QByteArray("ist1") << 0 << 0;
}

void TestMainWindow::audioLawFromReport()
{
    QFETCH(QByteArray, report);
    QFETCH(int, userChoice);
    QFETCH(int, shown);
    TempWorkFolder work;
    QVERIFY(WriteTestFile(work.current() + "osreply.txt", report + "\r\n"));
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    w->AudioFormatChoiceItems->button(userChoice)->setChecked(true);
    w->ShowSnapshot();
    QCOMPARE(w->AudioFormatChoiceItems->checkedId(), shown);
}

void TestMainWindow::messageState_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("duration");
    QTest::newRow("present, 12 s") << true << 12 << "12";
    QTest::newRow("present, length unknown") << true << -1 << "";
    QTest::newRow("absent") << false << 12 << "";
}

void TestMainWindow::messageState()
{
    QFETCH(bool, present);
    QFETCH(int, seconds);
    QFETCH(QString, duration);
    TempWorkFolder work;
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    w->Snapshot().MessagePresent = present;
    w->Snapshot().MessageSeconds = seconds;
    w->ShowSnapshot();
    QCOMPARE(w->DurationL->text(), duration);
    QCOMPARE(w->DeleteMsg->isEnabled(), present);
}

void TestMainWindow::helpAndBrowse()
{
    TempWorkFolder work;
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    const QString helpFile = BinDir() + QStringLiteral("/Pellaro.html");
    QVERIFY2(QFileInfo(helpFile).isFile(), "the build puts the help file beside the program");
    const QByteArray html = ReadTestFile(helpFile);
    QVERIFY(html.contains("id=\"context-10\"") && html.contains("id=\"context-11\""));

    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    w->Contents1->trigger();
    QTest::keyClick(w->ListViewUserID, Qt::Key_F1);
    WhenModal([&](QWidget* modal) {
        QTest::keyClick(static_cast<TFormFTPAccount*>(modal)->EditUsername, Qt::Key_F1);
        static_cast<QDialog*>(modal)->reject();
    });
    QTest::mouseClick(w->ButtonNew, Qt::LeftButton);
    w->Browsetothearchivedirectory1->trigger();

    QCOMPARE(run->opened.size(), 4);
    QCOMPARE(QFileInfo(run->opened[0].toLocalFile()).canonicalFilePath(), QFileInfo(helpFile).canonicalFilePath());
    QVERIFY(!run->opened[0].hasFragment());
    QCOMPARE(run->opened[1].fragment(), QStringLiteral("context-10"));
    QCOMPARE(run->opened[2].fragment(), QStringLiteral("context-11"));
    QCOMPARE(run->opened[3], QUrl::fromLocalFile(work.path() + "current"));

    // Without a help file, Help Contents silently does nothing.
    QTemporaryDir noHelp;
    // The strip's pictures are needed to start at all; only the help file is missing.
    for (const QString& png : QDir(BinDir()).entryList({QStringLiteral("btn*.png")}, QDir::Files))
        QVERIFY(QFile::copy(BinDir() + '/' + png, noHelp.filePath(png)));
    auto bare = Start(work.path(), {}, {}, noHelp.path());
    bare->w()->Contents1->trigger();
    QVERIFY(bare->opened.isEmpty());
    QVERIFY(bare->messages.entries.isEmpty());
}

void TestMainWindow::progressWindow()
{
    TempWorkFolder work;
    auto run = Start(work.path());
    TFormServerSetup* w = run->w();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    TFormProgress* p = run->windows.FormProgress;
    QCOMPARE(w->ProgressWindow(), static_cast<IProgressSink*>(p));
    QCOMPARE(p->windowTitle(), QStringLiteral("Progress"));
    QVERIFY(p->windowFlags() & Qt::Tool);
    QVERIFY(!(p->windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(p->Progress->minimum(), 0);
    QCOMPARE(p->Progress->maximum(), 100);
    QVERIFY(!p->isVisible());

    IProgressSink& sink = *p;
    sink.ShowProgress();
    sink.SetText(QStringLiteral("Downloading USR.ANNA"));
    sink.SetPosition(40);
    QVERIFY(p->isVisible());
    QVERIFY(!p->isModal());
    QVERIFY(w->isEnabled());
    QCOMPARE(p->SimpleLabelProgress->text(), QStringLiteral("Downloading USR.ANNA"));
    QCOMPARE(p->Progress->value(), 40);
    QVERIFY((p->frameGeometry().center() - w->frameGeometry().center()).manhattanLength() <= 2);
    sink.SetPosition(250);
    QCOMPARE(p->Progress->value(), 100);
    sink.HideProgress();
    QVERIFY(!p->isVisible());
}

void TestMainWindow::missingPicturesEndTheStart()
{
    // Without the transport strip's pictures beside the program, construction fails with a
    // message that names the missing file.
    TempWorkFolder work;
    QTemporaryDir empty;
    try {
        auto run = Start(work.path(), {}, {}, empty.path());
        QFAIL("the window was created without its pictures");
    } catch (const std::exception& e) {
        const QString text = QString::fromLocal8Bit(e.what());
        QVERIFY2(text.contains(QStringLiteral("btnclickrec.png")), qPrintable(text));
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
