#pragma once

#include <QDialog>
#include <QString>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class TUpdater;

// The modal dialog that checks for a newer version and installs it.
// It ends with QDialog::Accepted (the OK result) only when a download needed the copier
// and the copier was started: the owner must then close the main window through its
// ordinary close path.
class TFormUpdater : public QDialog
{
    Q_OBJECT

public:
    static constexpr int DesignWidth = 451;
    static constexpr int DesignHeight = 296;

    // workFolder ends with '/'; the local copy of the descriptor is workFolder + "uPellaro.ini".
    TFormUpdater(QWidget* owner, const QString& workFolder);
    ~TFormUpdater() override;

    TUpdater* ApplUpdater() const { return m_ApplUpdater; }

    // The event handlers (public so that tests can drive the dialog as a user would).
    void FormActivate();
    void ButtonCheckUpdateClick();
    void ButtonUpdateClick();
    void ButtonCancelClick();
    void ApplUpdaterProgress(TUpdater* Sender, quint32 dwPosition);

    // The progress flag held in ProgressBar1's Tag: 1 = the next report sets the bar up.
    int ProgressTag() const;

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

public Q_SLOTS:
    // The window-close command and Escape; refused while the network is awaited, because
    // the check or download still runs inside this dialog.
    void reject() override;

private:
    void SetProgressTag(int tag);
    void LayOut();

    QString m_workFolder;
    bool m_busy = false; // a check or download is waiting for the network
    QLabel* Image1 = nullptr;
    QPushButton* ButtonCheckUpdate = nullptr;
    QFrame* SimplePanelUpdate = nullptr;
    QLabel* LabelUpdate = nullptr;
    QPlainTextEdit* MemoUpdate = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonUpdate = nullptr;
    TUpdater* m_ApplUpdater = nullptr;
};

// Help > "Check &Update": shows the dialog modally over owner and frees it.
// Returns true for the OK result; the caller then closes its main window through the
// ordinary close path (QWidget::close(), which runs the close question).
bool RunUpdateDialog(QWidget* owner, const QString& workFolder);
