#pragma once

#include "ConfigSnapshot.h"
#include "ConnectLogin.h"
#include "HelpHook.h"
#include "MessageService.h"

#include <QMainWindow>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class QTimer;
class IConnectPrompt;
class IProgressSink;
class ISoundSystem;
class ReplyCapture;
class TACMRecord;
class TACMWaveOut;
class TFormFTPAccount;
class TFtpClient;
class TMbButtons;
class UiThreadMessages;

// What the main window needs from outside; every field has a production default.
struct ServerSetupOptions
{
    QString workFolder;    // empty: ResolveWorkFolder() (may throw WorkFolderError)
    QString programFolder; // empty: the folder of the program file (help file beside it)
    QStringList arguments; // command line, for "ADDRESS="
    std::function<QStringList()> captureDevices; // empty: the input devices of the sound system
    UrlOpener openUrl;     // empty: the desktop's default handler
    std::function<void(int)> pause; // empty: the reload pause blocks the thread (tests shorten it)
    // The sound devices of the message tab. Empty: CreateSoundSystem(), owned by the window;
    // a given one (tests hand in a virtual one) must outlive the window.
    ISoundSystem* soundSystem = nullptr;
};

// The product names of the sound-input devices, in device order.
QStringList SystemCaptureDevices();
// The names of the input devices of a sound system, in device order (for the real devices
// the full names of SystemCaptureDevices()).
QStringList CaptureDevicesOf(ISoundSystem& sound);

// The main window: three tabs, the menu and the status bar; owns the configuration
// snapshot for the whole run.
class TFormServerSetup final : public QMainWindow
{
    Q_OBJECT

public:
    explicit TFormServerSetup(IMessageService& messages, ServerSetupOptions options = {}, QWidget* parent = nullptr);
    ~TFormServerSetup() override;

    // The windows created after this one by the entry.
    void SetAccountEditor(TFormFTPAccount* editor) { m_editor = editor; }
    void SetProgressWindow(IProgressSink* progress) { m_progress = progress; }
    void SetConnectDialog(IConnectPrompt* prompt) { m_connect = prompt; }
    IConnectPrompt* ConnectDialog() const { return m_connect; }
    TFormFTPAccount* AccountEditor() const { return m_editor; }
    IProgressSink* ProgressWindow() const { return m_progress; }

    ConfigSnapshot& Snapshot() { return m_snapshot; }
    const QString& WorkFolder() const { return m_WorkFolder; }
    QString CurrentFolder() const;
    const QByteArray& Address() const { return m_address.Address; }
    void SetAddress(const QByteArray& address) { m_address.Address = address; }
    int Port() const { return m_address.Port; }
    void SetPort(int port) { m_address.Port = port; }
    // The Address and Port fields as the connect dialog reads them and a login updates them.
    const RecorderAddress& RecorderLink() const { return m_address; }
    int SortColumn() const { return m_SortColumn; } // the accounts list's tag
    const HelpHook& Help() const { return *m_helpHook; }

    // The report capture fed by the FTP client (CaptureReply, ClassifyOnly, ConnectedKind).
    ReplyCapture& Capture() { return *m_capture; }
    // True while a load or a save runs; the commands that would start another or change
    // the snapshot are disabled meanwhile.
    bool TransferRunning() const { return m_transferRunning; }

    bool Recording() const { return m_recording; }
    void SetRecording(bool on) { m_recording = on; }
    ISoundSystem& SoundSystem() const { return *m_sound; }
    // The capture device of RecordDevicesCB's item (item 0, the default device, gives -1).
    int RecordDevice() const;
    // The format tag of AudioFormatChoice's item: 6 a-law, 7 mu-law.
    std::uint16_t RecordFormatTag() const;
    // The level meter's value for a peak: the whole part of sqrt(peak / 32768) x 100, at most 100.
    static int RecordLevel(std::uint32_t peak);

    void ShowSnapshot();
    void FillAccountItem(QTreeWidgetItem* item, int index);
    // Order of two rows of the accounts list on the sort column; 0 when that column is not
    // valid for both.
    int ListViewUserIDCompare(const QTreeWidgetItem* item1, const QTreeWidgetItem* item2) const;
    bool CheckLineNumbers();

    // Handlers, named after their control and event.
    void ButtonNewClick();
    void ListViewUserIDDblClick();
    void ButtonDeleteClick();
    void Deleteall1Click();
    void RecorderTypeClick(int item);
    void ListViewUserIDColumnClick(int column);
    void ButtonUpdateLocalClick();
    void ButtonUpdateFaxServerClick();
    // Message tab (UnitmbAccountMessage.cpp).
    void DeleteMsgClick();
    void MbButtons1ButtonClick(QObject* Sender, std::int32_t Seconds); // Seconds: button index 0..4
    void Timer1Timer();
    void SecondsTimerTimer();
    void ACMWaveOut1End(QObject* Sender);
    void NewNumberBtnClick();
    void EditNumberBtnClick();
    void DeleteNumberBtnClick();
    void NumberListViewChange(QTreeWidgetItem* item);
    void NumberListGrpClick(int item);
    void Deleteallitemsinnumberlist1Click();
    void Save1Click();
    void Browsetothearchivedirectory1Click();
    void Exit1Click();
    void Contents1Click();
    void CheckUpdate1Click();
    void About1Click();

    // The widgets, with the names the handlers refer to.
    QTabWidget* PageControl1 = nullptr;
    // FTP accounts
    QPushButton* ButtonNew = nullptr;
    QPushButton* ButtonEdit = nullptr;
    QPushButton* ButtonDelete = nullptr;
    QGroupBox* RecorderType = nullptr;
    QButtonGroup* RecorderTypeItems = nullptr;
    QPushButton* ButtonUpdateLocal = nullptr;
    QPushButton* ButtonUpdateFaxServer = nullptr;
    QTreeWidget* ListViewUserID = nullptr;
    // Notification message
    QPushButton* DeleteMsg = nullptr;
    QPushButton* ButtonUpdateLocal2 = nullptr;
    QPushButton* ButtonUpdateFaxServer2 = nullptr;
    QComboBox* RecordDevicesCB = nullptr;
    QGroupBox* AudioFormatChoice = nullptr;
    QButtonGroup* AudioFormatChoiceItems = nullptr;
    TMbButtons* MbButtons1 = nullptr;
    QProgressBar* RecordLevelPg = nullptr;
    QLabel* DurationL = nullptr;
    QProgressBar* DurationPB = nullptr;
    QLabel* PlaybackL = nullptr;
    TACMRecord* ACMRecord1 = nullptr;  // capture and encoder, owned
    TACMWaveOut* ACMWaveOut1 = nullptr; // player of the message file, owned
    QTimer* Timer1 = nullptr;           // 200 ms: level meter and playback display
    QTimer* SecondsTimer = nullptr;     // 1000 ms: seconds while recording
    // Black / White List
    QPushButton* NewNumberBtn = nullptr;
    QPushButton* EditNumberBtn = nullptr;
    QPushButton* DeleteNumberBtn = nullptr;
    QGroupBox* NumberListGrp = nullptr;
    QButtonGroup* NumberListGrpItems = nullptr;
    QPushButton* ButtonUpdateLocal3 = nullptr;
    QPushButton* ButtonUpdateFaxServer3 = nullptr;
    QTreeWidget* NumberListView = nullptr;
    // Menu
    QAction* Save1 = nullptr;
    QAction* Browsetothearchivedirectory1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* Deleteall1 = nullptr;
    QAction* Deleteallitemsinnumberlist1 = nullptr;
    QAction* Contents1 = nullptr;
    QAction* CheckUpdate1 = nullptr;
    QAction* About1 = nullptr;
    // The FTP client of the load and save procedures.
    TFtpClient* FtpClient = nullptr;

    static constexpr int DesignClientWidth = 555;
    static constexpr int DesignClientHeight = 454;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool FormCloseQuery();
    bool FormClose();
    void BuildMenu();
    QWidget* BuildAccountsTab();
    QWidget* BuildMessageTab();
    QWidget* BuildNumbersTab();
    QWidget* LeftPanel(QWidget* parent);
    QPushButton* PanelButton(QWidget* panel, const QString& caption, const char* name);
    QLabel* PanelLabel(QWidget* panel, const QString& caption);
    void AddLoadSave(QWidget* panel, QPushButton*& load, QPushButton*& save, const char* loadName,
                     const char* saveName);
    void SortAccounts();
    void StoreAccount(int index);
    QTreeWidgetItem* SelectedAccount() const;
    QTreeWidgetItem* SelectedNumber() const;
    void SetTransferRunning(bool running);
    void ApplyPlacement(int posX, int posY, int width, int height);
    QSize DesignSize() const;
    void CreateMessageComponents();
    void DestroyMessageComponents();
    void StartRecording();
    void StopRecording();
    void StopPlayback();
    void SetLevel(int level);

    IMessageService& m_messages;
    ServerSetupOptions m_options;
    TFormFTPAccount* m_editor = nullptr;
    IProgressSink* m_progress = nullptr;
    IConnectPrompt* m_connect = nullptr;

    // Members in the order the program has always kept them.
    std::unique_ptr<HelpHook> m_helpHook;
    QString m_WorkFolder;
    std::unique_ptr<ReplyCapture> m_capture; // CaptureReply, ClassifyOnly, ConnectedKind
    RecorderAddress m_address;                // Address, Port
    bool m_recording = false;
    ConfigSnapshot m_snapshot; // Accounts, Numbers, report, type, message state, list mode, Modified

    QWidget* m_messagePanel = nullptr;
    std::unique_ptr<ISoundSystem> m_ownedSound;
    ISoundSystem* m_sound = nullptr;
    // What the sound components show goes through this, so that a box raised on the
    // player's worker thread still opens on the user-interface thread.
    std::unique_ptr<UiThreadMessages> m_audioMessages;
    bool m_recordStarting = false; // between the start of capture and the file's open
    std::int32_t m_secondsBeforeRecording = -1; // MessageSeconds of the message a recording may replace
    int m_SortColumn = 0;
    int m_keyPressedInAccounts = 0; // key whose release acts in the accounts list
    bool m_closing = false;
    bool m_transferRunning = false;
};
