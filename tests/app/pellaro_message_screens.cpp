// Grabs the message tab idle, while recording (level bar) and while playing, on the virtual
// sound device. Usage: pellaro_message_screens OUTPUT_FOLDER
#include "ACMRecord.h"
#include "ACMWaveOut.h"
#include "Mbbuttonsf.h"
#include "ScriptedMessageService.h"
#include "Startup.h"
#include "TestFolders.h"
#include "VirtualSound.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTabWidget>

#include <cmath>

namespace {

void Grab(QWidget* w, const QString& path)
{
    w->grab().save(path);
    fprintf(stderr, "wrote %s (%dx%d)\n", qPrintable(path), w->width(), w->height());
}

void Settle(int ms = 100)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);

    TempWorkFolder work;
    WriteTestFile(work.current() + "osreply.txt", "SONVAULT SV-300 V2.31\r\n");
    auto clock = std::make_shared<ManualAudioClock>();
    VirtualSoundConfig cfg;
    cfg.clock = clock;
    cfg.inputs = QStringList{QStringLiteral("Built-in Audio Analog Stereo"), QStringLiteral("USB Headset Microphone")};
    // A voice-like signal: a 220 Hz tone under a slow swell, at about half scale.
    cfg.generator = [](std::uint64_t frame, std::uint32_t rate) {
        const double t = double(frame) / rate;
        return static_cast<std::int16_t>(9000.0 * (1.2 + std::sin(2 * M_PI * 0.7 * t)) * std::sin(2 * M_PI * 220 * t));
    };
    VirtualSoundSystem sound(cfg);

    ScriptedMessageService messages;
    ServerSetupOptions options;
    options.workFolder = work.path();
    options.openUrl = [](const QUrl&) { return true; };
    options.soundSystem = &sound;
    PellaroWindows windows = CreatePellaroWindows(messages, options);
    TFormServerSetup* w = windows.FormServerSetup.get();
    w->PageControl1->setCurrentIndex(1);
    w->show();
    Settle();
    Grab(w, out + "/message-idle.png");

    // Recording: 12.3 s captured so far.
    w->MbButtons1ButtonClick(w->MbButtons1, 4);
    for (int i = 0; i < 48; ++i) {
        clock->AdvanceMs(256);
        Settle(15);
        if (i % 4 == 3)
            w->SecondsTimerTimer();
    }
    w->Timer1Timer();
    Settle();
    Grab(w, out + "/message-recording.png");
    w->MbButtons1ButtonClick(w->MbButtons1, 2);

    // Playing the new message, at second 5 of 12.
    w->MbButtons1ButtonClick(w->MbButtons1, 1);
    w->ACMWaveOut1->SetTimePosition(5);
    clock->AdvanceMs(300);
    Settle();
    w->Timer1Timer();
    Settle();
    Grab(w, out + "/message-playing.png");
    w->MbButtons1ButtonClick(w->MbButtons1, 2);
    return messages.entries.isEmpty() ? 0 : 1;
}
