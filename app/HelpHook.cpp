#include "HelpHook.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QKeyEvent>
#include <QWidget>

UrlOpener DesktopUrlOpener()
{
    return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

HelpHook::HelpHook(QString helpFile, UrlOpener opener, QObject* parent)
    : QObject(parent), m_helpFile(std::move(helpFile)), m_opener(std::move(opener))
{
    if (qApp)
        qApp->installEventFilter(this);
}

HelpHook::~HelpHook()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

QUrl HelpHook::HelpUrl(int context) const
{
    QUrl url = QUrl::fromLocalFile(m_helpFile);
    if (context > 0)
        url.setFragment(QStringLiteral("context-%1").arg(context));
    return url;
}

bool HelpHook::ShowHelp(int context) const
{
    if (m_helpFile.isEmpty() || !QFileInfo(m_helpFile).isFile() || !m_opener)
        return false;
    return m_opener(HelpUrl(context));
}

int HelpHook::HelpContextOf(const QObject* widget)
{
    for (const QObject* o = widget; o; o = o->parent()) {
        const QVariant ctx = o->property("helpContext");
        if (ctx.isValid() && ctx.toInt() > 0)
            return ctx.toInt();
    }
    return 0;
}

bool HelpHook::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier && watched->isWidgetType()) {
            QWidget* window = static_cast<QWidget*>(watched)->window();
            ShowHelp(HelpContextOf(window));
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
