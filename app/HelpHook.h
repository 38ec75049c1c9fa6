#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

// Opens a URL in the desktop's browser or file manager; false when that failed.
using UrlOpener = std::function<bool(const QUrl&)>;
UrlOpener DesktopUrlOpener();

// The help file beside the program and the anchors of its help contexts
// (10 the main window, 11 the dialogs): F1 anywhere in the program opens the help file at
// the context of the active window (its "helpContext" property, or that of a parent).
class HelpHook final : public QObject
{
    Q_OBJECT

public:
    HelpHook(QString helpFile, UrlOpener opener, QObject* parent = nullptr);
    ~HelpHook() override;

    const QString& HelpFile() const { return m_helpFile; }

    // The help file's URL; with a context above 0 it points at that context's anchor.
    QUrl HelpUrl(int context = 0) const;

    // Opens the help file (at a context); nothing happens when the file is missing.
    bool ShowHelp(int context = 0) const;

    // The help context of a widget: its own "helpContext" property or the nearest parent's; 0 if none.
    static int HelpContextOf(const QObject* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString m_helpFile;
    UrlOpener m_opener;
};
