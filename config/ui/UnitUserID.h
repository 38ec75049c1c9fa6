#pragma once

#include "ConfigSnapshot.h"
#include "MessageService.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The account editor: one modal dialog, created once and prepared before every use
// (PrepareEditor, then PrepareNew or PrepareEdit, then exec()).
class TFormFTPAccount final : public QDialog
{
    Q_OBJECT

public:
    explicit TFormFTPAccount(IMessageService& messages, QWidget* parent = nullptr);

    // Binds the accounts (for the duplicate check), empties the fields, disables OK and
    // shows the spin field (line mode) or the telephone-number edit.
    void PrepareEditor(const QList<tFTPInfo>* accounts, bool lineMode);
    void PrepareNew();
    void PrepareEdit(int index);

    int EditingIndex() const { return m_EditingIndex; }
    bool LineMode() const;

    // The fields as 8-bit text (the edits take only Latin-1 characters).
    QByteArray UserNameText() const;
    QByteArray PasswordText() const;
    QByteArray NumberText() const;
    int LineValue() const;

    QLabel* LabelUser = nullptr;
    QLabel* LMDSimpleLabel1 = nullptr;
    QLabel* LMDSimpleLabel2 = nullptr;
    QLineEdit* EditUsername = nullptr;
    QLineEdit* EditPassword = nullptr;
    QLineEdit* EditNumber = nullptr;
    QSpinBox* SpinEditLine = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCancel = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override; // FormKeyDown

private:
    void EditUsernameChange();
    void SomethingChanged();
    void ButtonOKClick();
    void ButtonCancelClick();

    IMessageService& m_messages;
    const QList<tFTPInfo>* m_accounts = nullptr;
    int m_EditingIndex = -1;
};
