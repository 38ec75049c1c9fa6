#pragma once
// The main window on a virtual sound system whose clock the test moves, with the
// scripted message boxes; every box must arrive on the user-interface thread.

#include "ACMRecord.h"
#include "ACMWaveOut.h"
#include "Mbbuttonsf.h"
#include "ScriptedMessageService.h"
#include "Startup.h"
#include "TestFolders.h"
#include "VirtualSound.h"

#include <QApplication>
#include <QTabWidget>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

// Forwards to the scripted boxes and counts the calls made off the user-interface thread.
class UiThreadCheckedMessages final : public IMessageService
{
public:
    void ShowMessage(const QString& text) override
    {
        Check();
        scripted.ShowMessage(text);
    }
    MsgResult Ask(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons) override
    {
        Check();
        return scripted.Ask(text, caption, icon, buttons);
    }
    void ShowError(const QString& text) override
    {
        Check();
        scripted.ShowError(text);
    }

    ScriptedMessageService scripted;
    std::atomic<int> offThread{0};

private:
    void Check()
    {
        if (QThread::currentThread() != qApp->thread())
            ++offThread;
    }
};

struct MessageTabRig
{
    std::shared_ptr<ManualAudioClock> clock = std::make_shared<ManualAudioClock>();
    std::unique_ptr<VirtualSoundSystem> sound; // outlives the windows
    UiThreadCheckedMessages messages;
    PellaroWindows windows;
    int buffers = 0; // captured buffers handed to the encoder

    TFormServerSetup* w() const { return windows.FormServerSetup.get(); }

    // cfg.clock is set here; the window lists the virtual inputs itself.
    void Start(const QString& workFolder, VirtualSoundConfig cfg = {})
    {
        cfg.clock = clock;
        sound = std::make_unique<VirtualSoundSystem>(std::move(cfg));
        ServerSetupOptions options;
        options.workFolder = workFolder;
        options.programFolder = BinDir();
        options.openUrl = [](const QUrl&) { return true; };
        options.pause = [](int) {};
        options.soundSystem = sound.get();
        windows = CreatePellaroWindows(messages, std::move(options));
        TRecorder* recorder = w()->ACMRecord1->Recorder();
        TNotifyEvent inner = recorder->OnSample;
        recorder->OnSample = [this, inner](QObject* sender) {
            inner(sender);
            ++buffers;
        };
        w()->PageControl1->setCurrentIndex(1);
        w()->show();
        QVERIFY(QTest::qWaitForWindowExposed(w()));
    }

    // A click on button i of the transport strip, at its centre.
    void Click(int i) const
    {
        const tMbButton& b = w()->MbButtons1->Button(i);
        QTest::mouseClick(w()->MbButtons1, Qt::LeftButton, {}, QPoint(b.CenterX - 15, b.CenterY - 20));
    }

    // Lets the device time run for `blocks` captured buffers of 256 ms, one at a time.
    bool Capture(int blocks)
    {
        const int target = buffers + blocks;
        while (buffers < target) {
            const int before = buffers;
            clock->AdvanceMs(256);
            if (!QTest::qWaitFor([&] { return buffers > before; }, 3000))
                return false;
        }
        return true;
    }
};
