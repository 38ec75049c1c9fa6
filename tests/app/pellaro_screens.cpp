// Grabs the program's windows with sample data into PNG files (for looking at them and for docs/).
// Usage: pellaro_screens OUTPUT_FOLDER
#include "ScriptedMessageService.h"
#include "Startup.h"
#include "TestFolders.h"
#include "UnitProgress.h"
#include "UnitUserID.h"
#include "AboutBox.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QTabWidget>
#include <QTreeWidget>

namespace {

void Grab(QWidget* w, const QString& path)
{
    w->grab().save(path);
    fprintf(stderr, "wrote %s (%dx%d)\n", qPrintable(path), w->width(), w->height());
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);

    TempWorkFolder work;
    const QString cur = work.current();
    WriteTestFile(cur + "osreply.txt", "SONVAULT IXTA 8L V2.31 ISE1\r\n");
    const char* users[][3] = {{"ALAN", "a1", "1"}, {"Alice", "a2", "2"}, {"bob", "b", "3"},
                              {"RECEPTION", "r", "4"}, {"SALES", "s", "5"}, {"SUPPORT", "t", "6"}};
    for (const auto& u : users)
        WriteTestFile(cur + "USR." + u[0], QByteArray(u[1]) + "\r\n" + u[2] + "\r\n");
    WriteTestFile(cur + "BLACK.TXT", "0301234567\r\n+49 40 555 0101\r\n08001234\r\n017612345678\r\n");
    WriteTestFile(cur + "CFG.USR", "a\rb\rc\r1\re\r1\r0\rh\r");
    WriteTestFile(cur + "MESS340.6", "RIFF");

    ScriptedMessageService messages;
    ServerSetupOptions options;
    options.workFolder = work.path();
    options.captureDevices = [] { return QStringList{QStringLiteral("Built-in Audio Analog Stereo")}; };
    options.openUrl = [](const QUrl&) { return true; };
    PellaroWindows w = CreatePellaroWindows(messages, options);
    TFormServerSetup* main = w.FormServerSetup.get();
    main->Snapshot().MessageSeconds = 12;
    main->ShowSnapshot();
    main->show();
    QApplication::processEvents();

    const char* tabs[] = {"main-accounts.png", "main-message.png", "main-numbers.png"};
    for (int i = 0; i < 3; ++i) {
        main->PageControl1->setCurrentIndex(i);
        if (i == 0)
            main->ListViewUserID->setCurrentItem(main->ListViewUserID->topLevelItem(1));
        QApplication::processEvents();
        Grab(main, out + "/" + tabs[i]);
    }
    main->resize(420, 405);
    main->PageControl1->setCurrentIndex(1);
    QApplication::processEvents();
    Grab(main, out + "/main-minimum.png");

    TFormFTPAccount* editor = w.FormFTPAccount;
    editor->PrepareEditor(&main->Snapshot().Accounts, true);
    editor->PrepareEdit(0);
    editor->show();
    QApplication::processEvents();
    Grab(editor, out + "/editor-line.png");
    editor->hide();
    editor->PrepareEditor(&main->Snapshot().Accounts, false);
    editor->PrepareNew();
    editor->EditUsername->setText(QStringLiteral("anna"));
    editor->EditPassword->setText(QStringLiteral("secret"));
    editor->EditNumber->setText(QStringLiteral("+49 30 1234567"));
    editor->show();
    QApplication::processEvents();
    Grab(editor, out + "/editor-number.png");
    editor->hide();

    w.FormProgress->ShowProgress();
    w.FormProgress->SetText(QStringLiteral("Uploading USR.RECEPTION"));
    w.FormProgress->SetPosition(40);
    QApplication::processEvents();
    Grab(w.FormProgress, out + "/progress.png");
    w.FormProgress->HideProgress();

    TAboutBox about(main);
    about.show();
    QApplication::processEvents();
    Grab(&about, out + "/about.png");
    return 0;
}
