// pellaro: the configuration program's window.
#include "MessageService.h"
#include "QtMessageService.h"
#include "Startup.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(ApplicationTitle());
    QApplication::setOrganizationName(QStringLiteral("Marbeck"));
    QApplication::setApplicationVersion(QStringLiteral(PELLARO_VERSION_STRING));

    QtMessageService messages;
    try {
        ServerSetupOptions options;
        // Only "ADDRESS=" is read; anything else, such as the "-u" the update copier passes
        // when it restarts the program, is ignored.
        options.arguments = QApplication::arguments().mid(1);
        PellaroWindows windows = CreatePellaroWindows(messages, std::move(options));
        messages.SetFallbackParent(windows.FormServerSetup.get());
        windows.FormServerSetup->show();
        return QApplication::exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, ApplicationTitle(), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, ApplicationTitle(), QString());
    }
    return 1;
}
