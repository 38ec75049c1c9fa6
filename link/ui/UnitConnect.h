#pragma once

#include "ConnectLogin.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The connect dialog: host, port, user name and password for the recorder's FTP server.
// Created once and kept for the whole run, so the user name and password typed stay
// until the program ends (they are never stored). Help context 11 (property "helpContext").
class TFormConnect final : public QDialog, public IConnectPrompt
{
    Q_OBJECT

public:
    static constexpr int HelpContext = 11;

    // address: the main window's Address and Port fields, read at every prompt.
    TFormConnect(QWidget* owner, const RecorderAddress& address);

    bool PromptConnect(const QString& title) override;
    QString Host() const override;
    int Port() const override;
    QByteArray UserName() const override;
    QByteArray PassWord() const override;

    // The OK rule: enables OK once host, user name and password are all filled; never disables it.
    void IPAddressEditBoxChange();

    QLineEdit* IPAddressEditBox = nullptr;
    QSpinBox* PortEdit = nullptr;
    QLineEdit* UsernameEditBox = nullptr;
    QLineEdit* PasswordEditBox = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

    // Prepares the dialog as PromptConnect does, without showing it (tests, screenshots).
    void PreparePrompt(const QString& title);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const RecorderAddress& m_address;
};
