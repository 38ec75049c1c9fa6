// The "Notification message" tab of the main window: record the message through the
// capture-to-encoder component into "announce.wav", place it in the current folder as
// "MESS340.6" or "MESS340.WAV", play it, seek in it and delete it.
#include "UnitmbAccount.h"

#include "ACMRecord.h"
#include "ACMWaveOut.h"
#include "Mbbuttonsf.h"
#include "MessageFile.h"
#include "QtSound.h"
#include "SoundSystem.h"
#include "UiThreadMessages.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <exception>

namespace {

constexpr int kLevelIntervalMs = 200;
constexpr int kSecondsIntervalMs = 1000;
// Event-loop passes between the start of capture and the open of the file: the first
// buffers only drive the level meter.
constexpr int kStartPasses = 100;

const QColor kLevelNormal(0, 0, 128); // navy
const QColor kLevelFull(255, 0, 0);   // red

// The colour the style fills a tab page with; styles often draw it lighter than the
// window, so a control that paints its own background would stand out as a grey block.
QColor TabPageColour(QTabWidget* tabs)
{
    constexpr int side = 48;
    QStyleOptionTabWidgetFrame option;
    option.initFrom(tabs);
    option.rect = QRect(0, 0, side, side);
    QPixmap pixmap(side, side);
    pixmap.fill(tabs->palette().color(QPalette::Window));
    {
        QPainter painter(&pixmap);
        tabs->style()->drawPrimitive(QStyle::PE_FrameTabWidget, &option, &painter, tabs);
    }
    return pixmap.toImage().pixelColor(side / 2, side / 2);
}

} // namespace

QStringList CaptureDevicesOf(ISoundSystem& sound)
{
    // The real devices in the order the sound system numbers them, with their full names.
    if (dynamic_cast<QtSoundSystem*>(&sound))
        return SystemCaptureDevices();
    QStringList names;
    const std::uint32_t count = sound.WaveInNumDevs();
    for (std::uint32_t i = 0; i < count; ++i) {
        QString name;
        if (sound.WaveInGetDevCaps(static_cast<int>(i), name) != MMSYSERR::NoError)
            name = QStringLiteral("Input %1").arg(i + 1);
        names << name;
    }
    return names;
}

void TFormServerSetup::CreateMessageComponents()
{
    if (m_options.soundSystem) {
        m_sound = m_options.soundSystem;
    } else {
        m_ownedSound = CreateSoundSystem();
        m_sound = m_ownedSound.get();
    }
    m_audioMessages = std::make_unique<UiThreadMessages>(m_messages, this);

    ACMRecord1 = new TACMRecord(this, *m_sound, *m_audioMessages);
    ACMRecord1->setObjectName(QStringLiteral("ACMRecord1"));
    // The capture stopped at a file that cannot be written: end the recording once the
    // capture notice has returned.
    ACMRecord1->OnFileFailed = [this](QObject*) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_recording)
                    StopRecording();
            },
            Qt::QueuedConnection);
    };

    ACMWaveOut1 = new TACMWaveOut(this, *m_sound, *m_audioMessages);
    ACMWaveOut1->setObjectName(QStringLiteral("ACMWaveOut1"));
    ACMWaveOut1->SetSamplesPerSec(8000);
    ACMWaveOut1->OnEnd = [this](QObject* Sender) { ACMWaveOut1End(Sender); };

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kLevelIntervalMs);
    connect(Timer1, &QTimer::timeout, this, &TFormServerSetup::Timer1Timer);
    SecondsTimer = new QTimer(this);
    SecondsTimer->setObjectName(QStringLiteral("SecondsTimer"));
    SecondsTimer->setInterval(kSecondsIntervalMs);
    connect(SecondsTimer, &QTimer::timeout, this, &TFormServerSetup::SecondsTimerTimer);

    MbButtons1->SetColor(TabPageColour(PageControl1));

    QPalette level = RecordLevelPg->palette();
    level.setColor(QPalette::Highlight, kLevelNormal);
    RecordLevelPg->setPalette(level);
}

void TFormServerSetup::DestroyMessageComponents()
{
    if (Timer1)
        Timer1->stop();
    if (SecondsTimer)
        SecondsTimer->stop();
    // The player stops its worker thread; the recorder ends an open file and the capture.
    delete ACMWaveOut1;
    ACMWaveOut1 = nullptr;
    delete ACMRecord1;
    ACMRecord1 = nullptr;
}

int TFormServerSetup::RecordDevice() const
{
    return RecordDevicesCB->currentIndex() - 1;
}

std::uint16_t TFormServerSetup::RecordFormatTag() const
{
    return AudioFormatChoiceItems->checkedId() == 1 ? WaveTag::MuLaw : WaveTag::ALaw;
}

int TFormServerSetup::RecordLevel(std::uint32_t peak)
{
    const int level = static_cast<int>(std::sqrt(static_cast<double>(peak) / 32768.0) * 100.0);
    return std::min(level, 100);
}

void TFormServerSetup::SetLevel(int level)
{
    const QColor colour = level >= 100 ? kLevelFull : kLevelNormal;
    if (RecordLevelPg->palette().color(QPalette::Highlight) != colour) {
        QPalette p = RecordLevelPg->palette();
        p.setColor(QPalette::Highlight, colour);
        RecordLevelPg->setPalette(p);
    }
    RecordLevelPg->setValue(level);
}

// ---- The transport strip -----------------------------------------------------------------

void TFormServerSetup::MbButtons1ButtonClick(QObject* /*Sender*/, std::int32_t Seconds)
{
    // While capture is being started the event loop runs; a click then would start a
    // second recording or stop one that does not exist yet.
    if (m_recordStarting)
        return;
    switch (Seconds) {
    case 0: // back
        if (ACMWaveOut1->Playing()) {
            const std::int64_t position = ACMWaveOut1->GetTimePosition();
            ACMWaveOut1->SetTimePosition(static_cast<std::uint32_t>(std::max<std::int64_t>(0, position - 15)));
        }
        break;
    case 1: // play / pause
        if (m_recording)
            break;
        if (ACMWaveOut1->Playing() && !ACMWaveOut1->GetPaused()) {
            ACMWaveOut1->Pause();
        } else if (ACMWaveOut1->GetPaused()) {
            ACMWaveOut1->Play();
        } else {
            const QString file = CurrentFolder() + m_snapshot.MessageFile;
            if (!m_snapshot.MessageFile.isEmpty() && QFileInfo(file).isFile() && ACMWaveOut1->Open(file, -1))
                ACMWaveOut1->Play();
        }
        break;
    case 2: // stop
        if (m_recording)
            StopRecording();
        else if (ACMWaveOut1->Playing())
            StopPlayback();
        break;
    case 3: // forward, never past the last whole second
        if (ACMWaveOut1->Playing()) {
            const std::int64_t position = ACMWaveOut1->GetTimePosition();
            const std::int64_t last = static_cast<std::int64_t>(ACMWaveOut1->GetTimeTotal() / 1000) - 1;
            const std::int64_t target = std::max<std::int64_t>(0, std::min(position + 15, last));
            ACMWaveOut1->SetTimePosition(static_cast<std::uint32_t>(target));
        }
        break;
    case 4: // record
        if (!m_recording)
            StartRecording();
        break;
    default:
        break;
    }
}

void TFormServerSetup::StartRecording()
{
    // 8 kHz mono G.711 in the law chosen on the tab.
    ACMRecord1->SetTargetFormat(FormatOut(G711Format(RecordFormatTag())));
    const int device = RecordDevice();
    bool started = false;
    try {
        started = ACMRecord1->StartRecorder(device);
    } catch (const std::exception& e) {
        // A capture device that cannot be opened: the error display, and no recording.
        ACMRecord1->StopRecorder();
        m_messages.ShowError(QString::fromStdString(e.what()));
        return;
    }
    if (!started) {
        ACMRecord1->StopRecorder();
        m_messages.ShowMessage(QStringLiteral("The recording cannot start: the sound input \"%1\" is not available "
                                              "or does not record 8000 Hz 16-bit mono sound.")
                                   .arg(RecordDevicesCB->currentText()));
        return;
    }

    m_recordStarting = true;
    for (int i = 0; i < kStartPasses; ++i)
        QCoreApplication::processEvents();
    m_recordStarting = false;

    // The converter has told why the file cannot be written; nothing is recorded then.
    if (!ACMRecord1->BeginFile(m_WorkFolder + ConfigFiles::Recording)) {
        ACMRecord1->StopRecorder();
        return;
    }
    m_secondsBeforeRecording = m_snapshot.MessageSeconds;
    m_snapshot.MessageSeconds = -1;
    m_recording = true;
}

void TFormServerSetup::StopRecording()
{
    ACMRecord1->EndFile();
    ACMRecord1->StopRecorder();
    m_recording = false;
    RecordLevelPg->setValue(0);

    if (ACMRecord1->FileFailed()) {
        // An incomplete recording never replaces the message: the message, its length and
        // the list of changes stay as they were before the recording.
        const QString file = m_WorkFolder + ConfigFiles::Recording;
        QFile::remove(file);
        m_snapshot.MessageSeconds = m_secondsBeforeRecording;
        if (m_snapshot.MessagePresent && m_snapshot.MessageSeconds != -1)
            DurationL->setText(QString::number(m_snapshot.MessageSeconds));
        else
            DurationL->clear();
        m_messages.ShowMessage(QStringLiteral("The recording stopped: %1 could not be written (%2).\n"
                                              "The notification message was not changed.")
                                   .arg(QDir::toNativeSeparators(file), ACMRecord1->FileErrorText()));
        return;
    }

    // The encoder's length decides the name, not the seconds counted meanwhile.
    const std::int32_t seconds = ACMRecord1->Duration();
    m_snapshot.MessageSeconds = seconds;
    DurationL->setText(QString::number(seconds));
    m_snapshot.MessagePresent = true;
    const MessagePlacement placed = PlaceMessageFile(m_WorkFolder + ConfigFiles::Recording, CurrentFolder(), seconds);
    m_snapshot.MessageFile = placed.name;
    m_snapshot.Modified = true;
    DeleteMsg->setEnabled(true);
    // Without the copy the recorder would get the old message, and with both names present
    // the long one would be taken for the message: the user has to know.
    if (!placed.copied || !placed.otherRemoved)
        m_messages.ShowMessage(QStringLiteral("The recording could not be stored as the notification message.\n") +
                               placed.errorText);
}

void TFormServerSetup::StopPlayback()
{
    ACMWaveOut1->Close();
    DurationPB->setValue(0);
    PlaybackL->clear();
}

// ---- Timers and the player's end -----------------------------------------------------------

void TFormServerSetup::Timer1Timer()
{
    if (m_recording) {
        SetLevel(RecordLevel(ACMRecord1->PeakLevel()));
        return;
    }
    RecordLevelPg->setValue(0);
    const std::uint32_t total = ACMWaveOut1->GetTimeTotal();
    if (!ACMWaveOut1->Playing() || total == 0)
        return;
    const std::uint32_t position = ACMWaveOut1->GetTimePosition();
    // Seconds against milliseconds give 0..100; the silence that pads the last block may
    // run a little past the total.
    const std::uint64_t percent = static_cast<std::uint64_t>(position) * 100000 / total;
    DurationPB->setValue(static_cast<int>(std::min<std::uint64_t>(percent, 100)));
    PlaybackL->setText(QString::number(position) + QStringLiteral(" / ") +
                       QString::number(static_cast<std::uint32_t>(total * 0.001 + 0.5)));
}

void TFormServerSetup::SecondsTimerTimer()
{
    if (!m_recording)
        return;
    ++m_snapshot.MessageSeconds;
    DurationL->setText(QString::number(m_snapshot.MessageSeconds));
}

void TFormServerSetup::ACMWaveOut1End(QObject* /*Sender*/)
{
    DurationPB->setValue(0);
    PlaybackL->clear();
    ACMWaveOut1->Close();
}

// ---- Delete --------------------------------------------------------------------------------

void TFormServerSetup::DeleteMsgClick()
{
    if (m_messages.Ask(QStringLiteral("Delete the audio message?"), ApplicationTitle(), MsgIcon::Question,
                       MsgButtons::OkCancel) != MsgResult::Ok)
        return;
    // A file that is being played may be locked against deletion: stop playing first.
    if (ACMWaveOut1->Playing())
        StopPlayback();
    m_snapshot.MessagePresent = false;
    if (!m_snapshot.MessageFile.isEmpty())
        QFile::remove(CurrentFolder() + m_snapshot.MessageFile);
    m_snapshot.Modified = true;
    DurationL->clear();
    DeleteMsg->setEnabled(false);
}
