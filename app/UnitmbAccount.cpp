#include "UnitmbAccount.h"

#include "AccountRules.h"
#include "AboutBox.h"
#include "FtpClient.h"
#include "LoadSave.h"
#include "Mbbuttonsf.h"
#include "ProgressSink.h"
#include "RecorderRules.h"
#include "TextInput.h"
#include "ReplyCapture.h"
#include "SoundSystem.h"
#include "UiThreadMessages.h"
#include "UnitUpdater.h"
#include "UnitUserID.h"
#include "WorkFolder.h"

#include <QAction>
#include <QApplication>
#include <QAudioDevice>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMediaDevices>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <stdexcept>

namespace {

constexpr int IndexRole = Qt::UserRole;
constexpr int PanelWidth = 145;
constexpr int ButtonWidth = 130;
constexpr int ButtonHeight = 25;

// A row of the accounts list. It keeps the upper-cased texts it is sorted by, so that
// sorting thousands of rows does not convert every text again for each comparison.
class AccountItem final : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    QByteArray keys[2];
    const TFormServerSetup* owner = nullptr;

    bool operator<(const QTreeWidgetItem& other) const override
    {
        return owner && owner->ListViewUserIDCompare(this, &other) < 0;
    }
};

// The in-place editor of the number list takes only characters that 8-bit text can hold.
class NumberDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
            edit->setObjectName(QStringLiteral("NumberEditor"));
            edit->setValidator(new Latin1Validator(edit));
        }
        return editor;
    }
};

QString Text(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}

int ItemIndex(const QTreeWidgetItem* item)
{
    return item ? item->data(0, IndexRole).toInt() : -1;
}

// After the element at removed left its sequence, every row's index follows. The view's
// signals are held meanwhile: renumbering is no edit of a row.
void RenumberAfterRemoval(QTreeWidget* view, int removed)
{
    const QSignalBlocker quiet(view);
    for (int r = 0; r < view->topLevelItemCount(); ++r) {
        QTreeWidgetItem* row = view->topLevelItem(r);
        row->setData(0, IndexRole, IndexAfterRemoval(ItemIndex(row), removed));
    }
}

QTreeWidget* MakeListView(QWidget* parent, const char* name)
{
    auto* view = new QTreeWidget(parent);
    view->setObjectName(QLatin1String(name));
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->header()->setStretchLastSection(true);
    view->header()->setSectionsMovable(false);
    return view;
}

QGroupBox* MakeRadioGroup(QWidget* parent, const char* name, const QString& caption, const QStringList& items,
                          QButtonGroup*& group)
{
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    group = new QButtonGroup(box);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(8, 4, 8, 6);
    layout->setSpacing(2);
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], box);
        radio->setObjectName(QLatin1String(name) + QStringLiteral("Item%1").arg(i));
        group->addButton(radio, i);
        layout->addWidget(radio);
    }
    group->button(0)->setChecked(true);
    return box;
}

} // namespace

QStringList SystemCaptureDevices()
{
    QStringList names;
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    for (const QAudioDevice& device : inputs)
        names << device.description();
    return names;
}

TFormServerSetup::TFormServerSetup(IMessageService& messages, ServerSetupOptions options, QWidget* parent)
    : QMainWindow(parent), m_messages(messages), m_options(std::move(options))
{
    setObjectName(QStringLiteral("FormServerSetup"));
    setWindowTitle(ApplicationTitle());
    setProperty("helpContext", 10);
    if (m_options.programFolder.isEmpty())
        m_options.programFolder = QCoreApplication::applicationDirPath();
    if (!m_options.programFolder.endsWith(QLatin1Char('/')))
        m_options.programFolder += QLatin1Char('/');
    if (!m_options.openUrl)
        m_options.openUrl = DesktopUrlOpener();

    BuildMenu();
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setDocumentMode(false);
    PageControl1->addTab(BuildAccountsTab(), QStringLiteral("FTP accounts"));
    PageControl1->addTab(BuildMessageTab(), QStringLiteral("Notification message"));
    PageControl1->addTab(BuildNumbersTab(), QStringLiteral("Black / White List"));
    setCentralWidget(PageControl1);
    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(status);
    setMinimumSize(420, 405);

    // The work folder and its two subfolders (an error here ends the construction).
    m_WorkFolder = m_options.workFolder.isEmpty() ? ResolveWorkFolder() : m_options.workFolder;
    if (!m_WorkFolder.isEmpty() && !m_WorkFolder.endsWith(QLatin1Char('/')))
        m_WorkFolder += QLatin1Char('/');
    EnsureSubfolders(m_WorkFolder);

    // The transport strip's pictures lie beside the program; without them the program cannot start.
    QString pictureError;
    if (!MbButtons1->LoadImages(m_options.programFolder, true, &pictureError))
        throw std::runtime_error(pictureError.toLocal8Bit().toStdString());

    // The capture-to-encoder component, the player and the message tab's timers.
    CreateMessageComponents();

    // The FTP client with its two handlers: reply lines to the report capture, failures inside
    // the client as "FTP Exception".
    m_capture = std::make_unique<ReplyCapture>(m_WorkFolder);
    FtpClient = new TFtpClient(this);
    FtpClient->setObjectName(QStringLiteral("FtpClient"));
    BindFtpClientEvents(*FtpClient, *m_capture, m_messages);

    // Message-tab state.
    m_recording = false;
    RecordLevelPg->setValue(0);
    m_snapshot.MessagePresent = false;
    m_snapshot.MessageSeconds = -1;
    m_snapshot.MessageFile.clear();
    m_snapshot.ListMode = 0;

    const QByteArray argumentAddress = AddressFromArguments(m_options.arguments);
    m_snapshot.Modified = false;
    m_capture->Disarm();

    m_helpHook = std::make_unique<HelpHook>(m_options.programFolder + QStringLiteral("Pellaro.html"), m_options.openUrl);

    const Settings settings = ReadSettings(SettingsFileOf(m_WorkFolder));
    m_address.Address = CombineAddress(argumentAddress, settings.Address);
    m_address.Port = settings.Port;
    m_SortColumn = settings.SortColumn;
    ApplyPlacement(settings.PosX, settings.PosY, settings.Width, settings.Height);

    if (!m_options.captureDevices)
        m_options.captureDevices = [this] { return CaptureDevicesOf(*m_sound); };
    RecordDevicesCB->addItem(QStringLiteral("Default Audio Device"));
    RecordDevicesCB->addItems(m_options.captureDevices());
    RecordDevicesCB->setCurrentIndex(0);

    LoadSnapshot(m_snapshot, CurrentFolder(), m_messages);
    ShowSnapshot();

    Timer1->start();
    SecondsTimer->start();
}

TFormServerSetup::~TFormServerSetup()
{
    // The sound components use the sound system and the message adapter, which go with
    // the members; the children of the window would go only after them.
    DestroyMessageComponents();
}

QString TFormServerSetup::CurrentFolder() const
{
    return CurrentFolderOf(m_WorkFolder);
}

QSize TFormServerSetup::DesignSize() const
{
    // The design size is the client area below the menu bar.
    return QSize(DesignClientWidth, DesignClientHeight + menuBar()->sizeHint().height());
}

void TFormServerSetup::ApplyPlacement(int posX, int posY, int width, int height)
{
    if (PlacementHonoured(posX, posY, width, height)) {
        move(posX, posY);
        resize(width, height);
        return;
    }
    resize(DesignSize());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        move(desk.x() + (desk.width() - frameGeometry().width()) / 2,
             desk.y() + (desk.height() - frameGeometry().height()) / 2);
    }
}

// ---- Layout ------------------------------------------------------------------------------

void TFormServerSetup::BuildMenu()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    Save1 = file->addAction(QStringLiteral("&Save"));
    file->addSeparator();
    Browsetothearchivedirectory1 = file->addAction(QStringLiteral("Browse to the archive directory"));
    file->addSeparator();
    Exit1 = file->addAction(QStringLiteral("E&xit"));

    QMenu* edit = menuBar()->addMenu(QStringLiteral("Edit"));
    edit->setObjectName(QStringLiteral("Edit1"));
    Deleteall1 = edit->addAction(QStringLiteral("Delete all FTP accounts"));
    Deleteallitemsinnumberlist1 = edit->addAction(QStringLiteral("Delete all items in number list"));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    Contents1 = help->addAction(QStringLiteral("&Contents"));
    CheckUpdate1 = help->addAction(QStringLiteral("Check &Update"));
    About1 = help->addAction(QStringLiteral("&About..."));

    const std::pair<QAction*, const char*> names[] = {
        {Save1, "Save1"}, {Browsetothearchivedirectory1, "Browsetothearchivedirectory1"}, {Exit1, "Exit1"},
        {Deleteall1, "Deleteall1"}, {Deleteallitemsinnumberlist1, "Deleteallitemsinnumberlist1"},
        {Contents1, "Contents1"}, {CheckUpdate1, "CheckUpdate1"}, {About1, "About1"}};
    for (const auto& [action, name] : names)
        action->setObjectName(QLatin1String(name));

    connect(Save1, &QAction::triggered, this, &TFormServerSetup::Save1Click);
    connect(Browsetothearchivedirectory1, &QAction::triggered, this,
            &TFormServerSetup::Browsetothearchivedirectory1Click);
    connect(Exit1, &QAction::triggered, this, &TFormServerSetup::Exit1Click);
    connect(Deleteall1, &QAction::triggered, this, &TFormServerSetup::Deleteall1Click);
    connect(Deleteallitemsinnumberlist1, &QAction::triggered, this,
            &TFormServerSetup::Deleteallitemsinnumberlist1Click);
    connect(Contents1, &QAction::triggered, this, &TFormServerSetup::Contents1Click);
    connect(CheckUpdate1, &QAction::triggered, this, &TFormServerSetup::CheckUpdate1Click);
    connect(About1, &QAction::triggered, this, &TFormServerSetup::About1Click);
}

QWidget* TFormServerSetup::LeftPanel(QWidget* parent)
{
    auto* panel = new QWidget(parent);
    panel->setFixedWidth(PanelWidth);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(8, 8, 7, 8);
    layout->setSpacing(5);
    return panel;
}

QLabel* TFormServerSetup::PanelLabel(QWidget* panel, const QString& caption)
{
    auto* label = new QLabel(caption, panel);
    auto* layout = static_cast<QVBoxLayout*>(panel->layout());
    if (layout->count() > 0)
        layout->addSpacing(8);
    layout->addWidget(label);
    return label;
}

QPushButton* TFormServerSetup::PanelButton(QWidget* panel, const QString& caption, const char* name)
{
    auto* button = new QPushButton(caption, panel);
    button->setObjectName(QLatin1String(name));
    button->setFixedSize(ButtonWidth, ButtonHeight);
    button->setAutoDefault(false);
    panel->layout()->addWidget(button);
    return button;
}

void TFormServerSetup::AddLoadSave(QWidget* panel, QPushButton*& load, QPushButton*& save, const char* loadName,
                                   const char* saveName)
{
    PanelLabel(panel, QStringLiteral("Load / Save:"));
    load = PanelButton(panel, QStringLiteral("&Load from Sonvault"), loadName);
    save = PanelButton(panel, QStringLiteral("&Save to Sonvault"), saveName);
    connect(load, &QPushButton::clicked, this, &TFormServerSetup::ButtonUpdateLocalClick);
    connect(save, &QPushButton::clicked, this, &TFormServerSetup::ButtonUpdateFaxServerClick);
    static_cast<QVBoxLayout*>(panel->layout())->addStretch(1);
}

QWidget* TFormServerSetup::BuildAccountsTab()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheetAccounts"));
    QWidget* panel = LeftPanel(page);
    PanelLabel(panel, QStringLiteral("Edit user list:"));
    ButtonNew = PanelButton(panel, QStringLiteral("New"), "ButtonNew");
    ButtonEdit = PanelButton(panel, QStringLiteral("Edit"), "ButtonEdit");
    ButtonDelete = PanelButton(panel, QStringLiteral("Delete"), "ButtonDelete");
    auto* panelLayout = static_cast<QVBoxLayout*>(panel->layout());
    panelLayout->addSpacing(8);
    RecorderType = MakeRadioGroup(panel, "RecorderType", QStringLiteral("Recorder type"),
                                  {QStringLiteral("Ixta"), QStringLiteral("Other devices")}, RecorderTypeItems);
    RecorderType->setFixedWidth(ButtonWidth);
    panelLayout->addWidget(RecorderType);
    AddLoadSave(panel, ButtonUpdateLocal, ButtonUpdateFaxServer, "ButtonUpdateLocal", "ButtonUpdateFaxServer");

    ListViewUserID = MakeListView(page, "ListViewUserID");
    ListViewUserID->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Number")});
    ListViewUserID->setColumnWidth(0, 125);
    ListViewUserID->setColumnWidth(1, 125);
    ListViewUserID->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewUserID->header()->setSectionsClickable(true);
    ListViewUserID->installEventFilter(this);

    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(0, 0, 8, 8);
    layout->setSpacing(0);
    layout->addWidget(panel);
    auto* right = new QVBoxLayout;
    right->setContentsMargins(0, 8, 0, 0);
    right->addWidget(ListViewUserID);
    layout->addLayout(right, 1);

    connect(ButtonNew, &QPushButton::clicked, this, &TFormServerSetup::ButtonNewClick);
    connect(ButtonEdit, &QPushButton::clicked, this, &TFormServerSetup::ListViewUserIDDblClick);
    connect(ButtonDelete, &QPushButton::clicked, this, &TFormServerSetup::ButtonDeleteClick);
    connect(RecorderTypeItems, &QButtonGroup::idClicked, this, &TFormServerSetup::RecorderTypeClick);
    connect(ListViewUserID->header(), &QHeaderView::sectionClicked, this,
            &TFormServerSetup::ListViewUserIDColumnClick);
    connect(ListViewUserID, &QTreeWidget::itemDoubleClicked, this, &TFormServerSetup::ListViewUserIDDblClick);
    return page;
}

QWidget* TFormServerSetup::BuildMessageTab()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheetMessage"));
    QWidget* panel = LeftPanel(page);
    PanelLabel(panel, QStringLiteral("Message:"));
    DeleteMsg = PanelButton(panel, QStringLiteral("&Delete"), "DeleteMsg");
    AddLoadSave(panel, ButtonUpdateLocal2, ButtonUpdateFaxServer2, "ButtonUpdateLocal2", "ButtonUpdateFaxServer2");
    connect(DeleteMsg, &QPushButton::clicked, this, &TFormServerSetup::DeleteMsgClick);

    // The right part is laid out at fixed places around the fixed-size transport strip.
    auto* right = new QWidget(page);
    right->setObjectName(QStringLiteral("MessagePanel"));
    constexpr int x = 16;
    constexpr int w = 289;
    MbButtons1 = new TMbButtons(right);
    MbButtons1->setObjectName(QStringLiteral("MbButtons1"));
    MbButtons1->setGeometry(x, 16, w, 81);
    MbButtons1->SetRecordButton(true);
    MbButtons1->OnButtonClick = [this](TMbButtons* Sender, std::int32_t Seconds) {
        MbButtons1ButtonClick(Sender, Seconds);
    };

    RecordLevelPg = new QProgressBar(right);
    RecordLevelPg->setObjectName(QStringLiteral("RecordLevelPg"));
    RecordLevelPg->setRange(0, 100);
    RecordLevelPg->setTextVisible(false);
    RecordLevelPg->setGeometry(x, 105, w, 14);

    auto* durationCaption = new QLabel(QStringLiteral("Duration:"), right);
    durationCaption->setGeometry(x, 129, 70, 20);
    DurationL = new QLabel(right);
    DurationL->setObjectName(QStringLiteral("DurationL"));
    DurationL->setGeometry(x + 72, 129, w - 72, 20);
    DurationPB = new QProgressBar(right);
    DurationPB->setObjectName(QStringLiteral("DurationPB"));
    DurationPB->setRange(0, 100);
    DurationPB->setValue(0);
    DurationPB->setTextVisible(false);
    DurationPB->setGeometry(x, 151, w, 14);
    auto* playbackCaption = new QLabel(QStringLiteral("Playback:"), right);
    playbackCaption->setGeometry(x, 171, 70, 20);
    PlaybackL = new QLabel(right);
    PlaybackL->setObjectName(QStringLiteral("PlaybackL"));
    PlaybackL->setGeometry(x + 72, 171, w - 72, 20);

    RecordDevicesCB = new QComboBox(right);
    RecordDevicesCB->setObjectName(QStringLiteral("RecordDevicesCB"));
    RecordDevicesCB->setGeometry(x, 203, w, 26);
    AudioFormatChoice = MakeRadioGroup(right, "AudioFormatChoice", QStringLiteral("Audio recording format"),
                                       {QStringLiteral("a-Law (other countries)"), QStringLiteral("mu-Law (U.S.A.)")},
                                       AudioFormatChoiceItems);
    AudioFormatChoice->setGeometry(x, 239, w, 72);
    // In a narrow window the bars, the list and the group shrink instead of being cut off.
    m_messagePanel = right;
    right->installEventFilter(this);

    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(panel);
    layout->addWidget(right, 1);
    return page;
}

QWidget* TFormServerSetup::BuildNumbersTab()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheetNumbers"));
    QWidget* panel = LeftPanel(page);
    PanelLabel(panel, QStringLiteral("Edit number list:"));
    NewNumberBtn = PanelButton(panel, QStringLiteral("&New"), "NewNumberBtn");
    EditNumberBtn = PanelButton(panel, QStringLiteral("&Edit"), "EditNumberBtn");
    DeleteNumberBtn = PanelButton(panel, QStringLiteral("&Delete"), "DeleteNumberBtn");
    auto* panelLayout = static_cast<QVBoxLayout*>(panel->layout());
    panelLayout->addSpacing(8);
    NumberListGrp = MakeRadioGroup(panel, "NumberListGrp", QStringLiteral("Number list"),
                                   {QStringLiteral("None"), QStringLiteral("Black list"), QStringLiteral("White list")},
                                   NumberListGrpItems);
    NumberListGrp->setFixedWidth(ButtonWidth);
    panelLayout->addWidget(NumberListGrp);
    AddLoadSave(panel, ButtonUpdateLocal3, ButtonUpdateFaxServer3, "ButtonUpdateLocal3", "ButtonUpdateFaxServer3");

    NumberListView = MakeListView(page, "NumberListView");
    NumberListView->setHeaderLabels({QStringLiteral("Number")});
    NumberListView->setColumnWidth(0, 125);
    NumberListView->setItemDelegate(new NumberDelegate(NumberListView));
    // F2 is routed by the key handler; a click on the selected row also starts editing.
    NumberListView->setEditTriggers(QAbstractItemView::SelectedClicked);
    NumberListView->header()->setSectionsClickable(false);
    NumberListView->setSortingEnabled(true);
    NumberListView->sortByColumn(0, Qt::AscendingOrder);
    NumberListView->installEventFilter(this);

    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(0, 0, 8, 8);
    layout->setSpacing(0);
    layout->addWidget(panel);
    auto* right = new QVBoxLayout;
    right->setContentsMargins(0, 8, 0, 0);
    right->addWidget(NumberListView);
    layout->addLayout(right, 1);

    connect(NewNumberBtn, &QPushButton::clicked, this, &TFormServerSetup::NewNumberBtnClick);
    connect(EditNumberBtn, &QPushButton::clicked, this, &TFormServerSetup::EditNumberBtnClick);
    connect(DeleteNumberBtn, &QPushButton::clicked, this, &TFormServerSetup::DeleteNumberBtnClick);
    connect(NumberListGrpItems, &QButtonGroup::idClicked, this, &TFormServerSetup::NumberListGrpClick);
    connect(NumberListView, &QTreeWidget::itemChanged, this,
            [this](QTreeWidgetItem* item, int) { NumberListViewChange(item); });
    return page;
}

// ---- Views -------------------------------------------------------------------------------

void TFormServerSetup::FillAccountItem(QTreeWidgetItem* item, int index)
{
    const tFTPInfo& account = m_snapshot.Accounts[index];
    item->setText(0, Text(account.Name));
    item->setText(1, Text(account.Number));
    if (auto* row = dynamic_cast<AccountItem*>(item)) {
        row->keys[0] = UpperCaseText(account.Name);
        row->keys[1] = UpperCaseText(account.Number);
    }
}

int TFormServerSetup::ListViewUserIDCompare(const QTreeWidgetItem* item1, const QTreeWidgetItem* item2) const
{
    const int column = m_SortColumn;
    if (column < 0 || column >= item1->columnCount() || column >= item2->columnCount())
        return 0;
    const auto* row1 = dynamic_cast<const AccountItem*>(item1);
    const auto* row2 = dynamic_cast<const AccountItem*>(item2);
    if (row1 && row2 && column < 2)
        return row1->keys[column].compare(row2->keys[column]);
    return CompareListTexts(item1->text(column).toLatin1(), item2->text(column).toLatin1());
}

void TFormServerSetup::SortAccounts()
{
    QHeaderView* header = ListViewUserID->header();
    if (m_SortColumn >= 0 && m_SortColumn < ListViewUserID->columnCount()) {
        header->setSortIndicatorShown(true);
        header->setSortIndicator(m_SortColumn, Qt::AscendingOrder);
        ListViewUserID->sortItems(m_SortColumn, Qt::AscendingOrder);
    } else {
        // No valid column: every pair compares equal, the order stays as it is.
        header->setSortIndicatorShown(false);
    }
}

void TFormServerSetup::ShowSnapshot()
{
    ListViewUserID->setUpdatesEnabled(false);
    ListViewUserID->clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(m_snapshot.Accounts.size());
    for (int i = 0; i < m_snapshot.Accounts.size(); ++i) {
        auto* row = new AccountItem;
        row->owner = this;
        row->setData(0, IndexRole, i);
        FillAccountItem(row, i);
        rows.append(row);
    }
    ListViewUserID->addTopLevelItems(rows);
    SortAccounts();
    ListViewUserID->setUpdatesEnabled(true);

    if (m_snapshot.RecorderType == 0) {
        RecorderTypeItems->button(0)->setChecked(true);
        ListViewUserID->headerItem()->setText(1, QStringLiteral("Line"));
    } else {
        RecorderTypeItems->button(1)->setChecked(true);
        ListViewUserID->headerItem()->setText(1, QStringLiteral("Telephone number"));
    }

    if (m_snapshot.MessagePresent && m_snapshot.MessageSeconds != -1)
        DurationL->setText(QString::number(m_snapshot.MessageSeconds));
    else
        DurationL->clear();

    {
        const QSignalBlocker quiet(NumberListView);
        NumberListView->setUpdatesEnabled(false);
        NumberListView->setSortingEnabled(false);
        NumberListView->clear();
        QList<QTreeWidgetItem*> items;
        items.reserve(m_snapshot.Numbers.size());
        for (int i = 0; i < m_snapshot.Numbers.size(); ++i) {
            auto* item = new QTreeWidgetItem(QStringList{Text(m_snapshot.Numbers[i])});
            item->setData(0, IndexRole, i);
            item->setFlags(item->flags() | Qt::ItemIsEditable);
            items.append(item);
        }
        NumberListView->addTopLevelItems(items);
        NumberListView->setSortingEnabled(true);
        NumberListView->setUpdatesEnabled(true);
    }

    DeleteMsg->setEnabled(m_snapshot.MessagePresent);

    if (QAbstractButton* mode = NumberListGrpItems->button(m_snapshot.ListMode))
        mode->setChecked(true);
    else {
        // A list mode outside 0 to 2 selects no item.
        NumberListGrpItems->setExclusive(false);
        for (QAbstractButton* b : NumberListGrpItems->buttons())
            b->setChecked(false);
        NumberListGrpItems->setExclusive(true);
    }

    switch (LawFromReport(m_snapshot.DeviceReport)) {
    case ReportLaw::MuLaw: AudioFormatChoiceItems->button(1)->setChecked(true); break;
    case ReportLaw::ALaw: AudioFormatChoiceItems->button(0)->setChecked(true); break;
    case ReportLaw::Unchanged: break;
    }
}

// ---- Accounts ----------------------------------------------------------------------------

QTreeWidgetItem* TFormServerSetup::SelectedAccount() const
{
    const QList<QTreeWidgetItem*> selected = ListViewUserID->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void TFormServerSetup::StoreAccount(int index)
{
    tFTPInfo& account = m_snapshot.Accounts[index];
    account.Name = UpperCaseText(m_editor->UserNameText());
    account.Password = m_editor->PasswordText();
    account.Number = m_snapshot.RecorderType != 0 ? m_editor->NumberText() : QByteArray::number(m_editor->LineValue());
}

void TFormServerSetup::ButtonNewClick()
{
    if (!m_editor)
        return;
    m_editor->PrepareEditor(&m_snapshot.Accounts, m_snapshot.RecorderType == 0);
    m_editor->PrepareNew();
    if (m_editor->exec() != QDialog::Accepted)
        return;
    m_snapshot.Accounts.append(tFTPInfo{});
    const int index = int(m_snapshot.Accounts.size()) - 1;
    auto* row = new AccountItem;
    row->owner = this;
    row->setData(0, IndexRole, index);
    StoreAccount(index);
    FillAccountItem(row, index);
    ListViewUserID->addTopLevelItem(row);
    ListViewUserID->setCurrentItem(row);
    SortAccounts();
    ListViewUserID->scrollToItem(row);
    m_snapshot.Modified = true;
}

void TFormServerSetup::ListViewUserIDDblClick()
{
    QTreeWidgetItem* row = SelectedAccount();
    if (!row || !m_editor)
        return;
    const int index = ItemIndex(row);
    if (index < 0 || index >= m_snapshot.Accounts.size())
        return;
    m_editor->PrepareEditor(&m_snapshot.Accounts, m_snapshot.RecorderType == 0);
    m_editor->PrepareEdit(index);
    if (m_editor->exec() != QDialog::Accepted)
        return;
    StoreAccount(index);
    FillAccountItem(row, index);
    m_snapshot.Modified = true;
}

void TFormServerSetup::ButtonDeleteClick()
{
    QTreeWidgetItem* row = SelectedAccount();
    if (!row)
        return;
    const int index = ItemIndex(row);
    if (index < 0 || index >= m_snapshot.Accounts.size())
        return;
    if (m_messages.Ask(DeleteAccountText(m_snapshot.Accounts[index].Name), ApplicationTitle(), MsgIcon::Question,
                       MsgButtons::YesNo) != MsgResult::Yes)
        return;
    RenumberAfterRemoval(ListViewUserID, index);
    m_snapshot.Accounts.removeAt(index);
    delete row;
    m_snapshot.Modified = true;
}

void TFormServerSetup::Deleteall1Click()
{
    if (m_messages.Ask(DeleteAllAccountsText, ApplicationTitle(), MsgIcon::Warning, MsgButtons::OkCancel) !=
        MsgResult::Ok)
        return;
    m_snapshot.Accounts.clear();
    ShowSnapshot();
    m_snapshot.Modified = true;
}

void TFormServerSetup::RecorderTypeClick(int item)
{
    if (item == 0 && m_snapshot.RecorderType != 0) {
        m_snapshot.RecorderType = 0;
        m_snapshot.Modified = true;
        ShowSnapshot();
    } else if (item == 1 && m_snapshot.RecorderType != 1) {
        m_snapshot.RecorderType = 1;
        m_snapshot.Modified = true;
        ShowSnapshot();
    }
}

bool TFormServerSetup::CheckLineNumbers()
{
    return ::CheckLineNumbers(m_snapshot.Accounts, m_snapshot.RecorderType, m_messages);
}

void TFormServerSetup::ListViewUserIDColumnClick(int column)
{
    m_SortColumn = column;
    SortAccounts();
}

// ---- Number list -------------------------------------------------------------------------

QTreeWidgetItem* TFormServerSetup::SelectedNumber() const
{
    const QList<QTreeWidgetItem*> selected = NumberListView->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void TFormServerSetup::NewNumberBtnClick()
{
    auto* item = new QTreeWidgetItem;
    item->setData(0, IndexRole, int(m_snapshot.Numbers.size()));
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    NumberListView->addTopLevelItem(item);
    m_snapshot.Numbers.append(QByteArray());
    NumberListView->setCurrentItem(item);
    NumberListView->scrollToItem(item);
    NumberListView->setFocus();
    NumberListView->editItem(item, 0);
    m_snapshot.Modified = true;
}

void TFormServerSetup::EditNumberBtnClick()
{
    if (QTreeWidgetItem* item = SelectedNumber()) {
        NumberListView->setFocus();
        NumberListView->editItem(item, 0);
    }
}

void TFormServerSetup::NumberListViewChange(QTreeWidgetItem* item)
{
    const int i = ItemIndex(item);
    if (i < 0 || i >= m_snapshot.Numbers.size())
        return;
    const QByteArray text = item->text(0).toLatin1();
    if (m_snapshot.Numbers[i] != text) {
        m_snapshot.Numbers[i] = text;
        m_snapshot.Modified = true;
    }
}

void TFormServerSetup::DeleteNumberBtnClick()
{
    QTreeWidgetItem* item = SelectedNumber();
    if (!item)
        return;
    if (m_messages.Ask(DeleteNumberText(item->text(0).toLatin1()), ApplicationTitle(), MsgIcon::Question,
                       MsgButtons::YesNo) != MsgResult::Yes)
        return;
    const int index = ItemIndex(item);
    RenumberAfterRemoval(NumberListView, index);
    if (index >= 0 && index < m_snapshot.Numbers.size())
        m_snapshot.Numbers.removeAt(index);
    delete item;
    m_snapshot.Modified = true;
}

void TFormServerSetup::Deleteallitemsinnumberlist1Click()
{
    if (m_messages.Ask(DeleteAllNumbersText, ApplicationTitle(), MsgIcon::Warning, MsgButtons::OkCancel) !=
        MsgResult::Ok)
        return;
    m_snapshot.Numbers.clear();
    ShowSnapshot();
    m_snapshot.Modified = true;
}

void TFormServerSetup::NumberListGrpClick(int item)
{
    // Choosing a list mode alone is not an unsaved change.
    m_snapshot.ListMode = item;
}

// ---- Keys --------------------------------------------------------------------------------

bool TFormServerSetup::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_messagePanel && event->type() == QEvent::Resize) {
        const int w = qBound(120, m_messagePanel->width() - 2 * 16, 289);
        for (QWidget* control : {static_cast<QWidget*>(RecordLevelPg), static_cast<QWidget*>(DurationPB),
                                 static_cast<QWidget*>(RecordDevicesCB), static_cast<QWidget*>(AudioFormatChoice)})
            control->resize(w, control->height());
    }
    if (watched == ListViewUserID && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int k = key->key() == Qt::Key_Enter ? Qt::Key_Return : key->key();
        if (k == Qt::Key_Return || k == Qt::Key_Delete) {
            if (event->type() == QEvent::KeyPress) {
                if (!key->isAutoRepeat())
                    m_keyPressedInAccounts = k;
                return true;
            }
            // ListViewUserIDKeyUp. A release only counts when its press came to this list, so
            // the Enter that closed the editor does not open it again.
            if (key->isAutoRepeat() || m_keyPressedInAccounts != k)
                return true;
            m_keyPressedInAccounts = 0;
            if (k == Qt::Key_Return)
                ListViewUserIDDblClick();
            else
                ButtonDeleteClick();
            return true;
        }
    }
    const QWidget* focus = QApplication::focusWidget();
    const bool inPlaceEditing = focus && focus != NumberListView && NumberListView->isAncestorOf(focus);
    if (watched == NumberListView && event->type() == QEvent::KeyPress && !inPlaceEditing) {
        // NumberListViewKeyDown; keys typed into the in-place editor are the editor's.
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Insert: NewNumberBtnClick(); return true;
        case Qt::Key_Delete: DeleteNumberBtnClick(); return true;
        case Qt::Key_F2: EditNumberBtnClick(); return true;
        default: break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- Load and save -----------------------------------------------------------------------

void TFormServerSetup::SetTransferRunning(bool running)
{
    // While the FTP exchange waits, the window keeps handling input: nothing may start a
    // second transfer or change the snapshot under the running one.
    m_transferRunning = running;
    PageControl1->setEnabled(!running);
    for (QAction* action : {Save1, Deleteall1, Deleteallitemsinnumberlist1, CheckUpdate1, Exit1})
        action->setEnabled(!running);
}

void TFormServerSetup::ButtonUpdateLocalClick()
{
    if (m_transferRunning || !m_connect)
        return;
    NullProgressSink noProgress;
    TransferParts parts{m_snapshot, m_WorkFolder, *FtpClient, *m_capture, *m_connect, m_messages,
                        m_progress ? *m_progress : noProgress, m_address, [this] { ShowSnapshot(); },
                        m_options.pause};
    SetTransferRunning(true);
    TLoadProcedure(parts).ButtonUpdateLocalClick();
    SetTransferRunning(false);
}

void TFormServerSetup::ButtonUpdateFaxServerClick()
{
    if (m_transferRunning || !m_connect)
        return;
    NullProgressSink noProgress;
    TransferParts parts{m_snapshot, m_WorkFolder, *FtpClient, *m_capture, *m_connect, m_messages,
                        m_progress ? *m_progress : noProgress, m_address, [this] { ShowSnapshot(); },
                        m_options.pause};
    SetTransferRunning(true);
    TSaveProcedure(parts).ButtonUpdateFaxServerClick();
    SetTransferRunning(false);
    // The report of the recorder saved to may choose another audio law.
    ShowSnapshot();
}

// ---- Menu commands -----------------------------------------------------------------------

void TFormServerSetup::Save1Click()
{
    // Writes the local copy only; the recorder still counts as out of date.
    SaveSnapshot(m_snapshot, CurrentFolder(), m_messages);
}

void TFormServerSetup::Browsetothearchivedirectory1Click()
{
    QString folder = CurrentFolder();
    folder.chop(1);
    m_options.openUrl(QUrl::fromLocalFile(folder));
}

void TFormServerSetup::Exit1Click()
{
    close();
}

void TFormServerSetup::Contents1Click()
{
    m_helpHook->ShowHelp();
}

void TFormServerSetup::CheckUpdate1Click()
{
    // OK means the copier has taken over: the program ends through its usual close path.
    if (RunUpdateDialog(this, m_WorkFolder))
        close();
}

void TFormServerSetup::About1Click()
{
    TAboutBox about(this);
    about.exec();
}

// ---- Close -------------------------------------------------------------------------------

bool TFormServerSetup::FormCloseQuery()
{
    if (!m_snapshot.Modified)
        return true;
    switch (m_messages.Ask(CloseQuestionText, QStringLiteral("Closing"), MsgIcon::Question, MsgButtons::YesNoCancel)) {
    case MsgResult::Yes:
        ButtonUpdateFaxServerClick();
        return true; // closes whatever the outcome of the save
    case MsgResult::No:
        return true;
    default:
        return false;
    }
}

bool TFormServerSetup::FormClose()
{
    Settings s;
    const QRect placed = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    s.PosX = isMaximized() || isFullScreen() ? placed.x() : pos().x();
    s.PosY = isMaximized() || isFullScreen() ? placed.y() : pos().y();
    s.Width = placed.width();
    s.Height = placed.height();
    s.Address = m_address.Address;
    s.Port = m_address.Port;
    s.SortColumn = m_SortColumn;
    QString error;
    if (!WriteSettings(SettingsFileOf(m_WorkFolder), s, &error))
        m_messages.ShowError(error);

    if (!m_snapshot.Modified)
        return true;
    if (SaveSnapshot(m_snapshot, CurrentFolder(), m_messages))
        return true;
    // The edits are neither on the recorder nor in the local copy: closing now would lose them.
    return m_messages.Ask(QStringLiteral("The changes could not be written to the local copy in %1.\n"
                                         "Keep Pellaro open so that you can correct the problem and save again?\n"
                                         "No closes Pellaro and the changes are lost.")
                              .arg(QDir::toNativeSeparators(CurrentFolder())),
                          QStringLiteral("Closing"), MsgIcon::Warning, MsgButtons::YesNo) == MsgResult::No;
}

void TFormServerSetup::closeEvent(QCloseEvent* event)
{
    if (m_closing || m_transferRunning) {
        event->ignore();
        return;
    }
    m_closing = true;
    const bool close = FormCloseQuery() && FormClose();
    m_closing = false;
    if (close)
        event->accept();
    else
        event->ignore();
}
