// The "Notification message" tab driven through the transport strip, on the virtual sound
// device with a clock the test moves: recording into the message file, the length rule,
// the level meter, playback and its display, seeking, stop, delete and the refusals.
#include "MessageTabRig.h"

#include "AudioFixtures.h"
#include "CaptureFixtures.h"
#include "UiThreadMessages.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <thread>

using Entry = ScriptedMessageService::Entry;

namespace {

VirtualSoundConfig Constant(std::int16_t value)
{
    VirtualSoundConfig cfg;
    cfg.generator = [value](std::uint64_t, std::uint32_t) { return value; };
    return cfg;
}

QByteArray G711Message(std::uint16_t tag, int samples)
{
    return Fixture::MessageFile(tag, Fixture::G711Tone(tag, samples));
}

} // namespace

class TestMessageTab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void componentsAndTimers();
    void recordsSpeech_data();
    void recordsSpeech();
    void lengthChoosesTheName_data();
    void lengthChoosesTheName();
    void levelMeter_data();
    void levelMeter();
    void playShowsPositionAndTotal();
    void seekRules();
    void stopWhileIdleAndPlayWithoutMessage();
    void recordingAndPlayingTogether();
    void deleteMessage();
    void startRefusals();
    void placementFailureIsReported();
    void writeFailureKeepsTheMessage_data();
    void writeFailureKeepsTheMessage();
    void playerBoxesFromTheWorkerReachTheUiThread();
    void uiThreadMessagesAdapter();

private:
    QTemporaryDir m_dir;
    QString m_speechWav;
    std::vector<std::int16_t> m_speech;
};

void TestMessageTab::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_speechWav = m_dir.filePath(QStringLiteral("speech.wav"));
    const QString error = CaptureFixture::MakeSpeechWav(
        m_speechWav, QStringLiteral("Thank you for calling. Please leave a message after the tone."), 2);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_speech = CaptureFixture::ReadSamples(m_speechWav);
    QVERIFY2(m_speech.size() >= 12 * 2048, qPrintable(QString::number(m_speech.size())));
}

void TestMessageTab::componentsAndTimers()
{
    TempWorkFolder work;
    MessageTabRig rig;
    VirtualSoundConfig cfg;
    cfg.inputs = QStringList{QStringLiteral("Mic A"), QStringLiteral("Mic B")};
    rig.Start(work.path(), cfg);
    TFormServerSetup* w = rig.w();
    QCOMPARE(w->Timer1->interval(), 200);
    QVERIFY(w->Timer1->isActive());
    QCOMPARE(w->SecondsTimer->interval(), 1000);
    QVERIFY(w->SecondsTimer->isActive());
    QCOMPARE(w->ACMWaveOut1->SamplesPerSec(), 8000);
    QCOMPARE(w->ACMRecord1->parent(), w);
    QCOMPARE(&w->SoundSystem(), rig.sound.get());
    // The capture-device list: the default device, then the inputs of the sound system.
    QCOMPARE(w->RecordDevicesCB->count(), 3);
    QCOMPARE(w->RecordDevicesCB->itemText(0), QStringLiteral("Default Audio Device"));
    QCOMPARE(w->RecordDevicesCB->itemText(2), QStringLiteral("Mic B"));
    QCOMPARE(w->RecordDevice(), -1);
    QCOMPARE(w->RecordFormatTag(), WaveTag::ALaw);
    QVERIFY(!w->Recording());
}

void TestMessageTab::recordsSpeech_data()
{
    QTest::addColumn<int>("law");
    QTest::addColumn<int>("deviceItem");
    QTest::addColumn<int>("device");
    QTest::newRow("a-law, default device") << 0 << 0 << -1;
    QTest::newRow("mu-law, item 2 is device 1") << 1 << 2 << 1;
}

void TestMessageTab::recordsSpeech()
{
    QFETCH(int, law);
    QFETCH(int, deviceItem);
    QFETCH(int, device);
    const std::uint16_t tag = law == 1 ? WaveTag::MuLaw : WaveTag::ALaw;
    TempWorkFolder work;
    // An old long message: the new short one replaces it.
    QVERIFY(WriteTestFile(work.current() + "MESS340.WAV", G711Message(WaveTag::ALaw, 8000 * 31)));
    QList<int> opened; // outlives the sound system that fills it
    MessageTabRig rig;
    VirtualSoundConfig cfg;
    cfg.inputs = QStringList{QStringLiteral("Mic A"), QStringLiteral("Mic B"), QStringLiteral("Mic C")};
    cfg.inputWav = m_speechWav;
    cfg.fault = [&opened](const char* operation, int dev) -> MMRESULT {
        if (qstrcmp(operation, "WaveInOpen") == 0)
            opened << dev;
        return MMSYSERR::NoError;
    };
    rig.Start(work.path(), cfg);
    TFormServerSetup* w = rig.w();
    QCOMPARE(w->Snapshot().MessageFile, QStringLiteral("MESS340.WAV"));
    QVERIFY(!w->Snapshot().Modified);
    w->AudioFormatChoiceItems->button(law)->click();
    w->RecordDevicesCB->setCurrentIndex(deviceItem);

    rig.Click(4);
    QVERIFY(w->Recording());
    QVERIFY(w->ACMRecord1->Converting());
    QCOMPARE(w->Snapshot().MessageSeconds, -1);
    QVERIFY(!opened.isEmpty());
    QVERIFY(std::all_of(opened.begin(), opened.end(), [device](int d) { return d == device; }));
    QCOMPARE(w->ACMRecord1->Recorder()->Device()->id(), device);
    // The seconds count starts at 0 on its first tick.
    w->SecondsTimerTimer();
    QCOMPARE(w->DurationL->text(), QStringLiteral("0"));
    w->SecondsTimerTimer();
    QCOMPARE(w->DurationL->text(), QStringLiteral("1"));
    // Play is refused while recording.
    rig.Click(1);
    QVERIFY(!w->ACMWaveOut1->Playing());

    // Twelve buffers of 256 ms: 3.07 s of speech.
    QVERIFY(rig.Capture(12));
    w->Timer1Timer();
    QVERIFY(w->RecordLevelPg->value() > 0);
    rig.Click(2);

    QVERIFY(!w->Recording());
    QVERIFY(!w->ACMRecord1->Recorder()->Active());
    QCOMPARE(w->DurationL->text(), QStringLiteral("3"));
    QCOMPARE(w->Snapshot().MessageSeconds, 3);
    QCOMPARE(w->Snapshot().MessageFile, QStringLiteral("MESS340.6"));
    QVERIFY(w->Snapshot().MessagePresent);
    QVERIFY(w->Snapshot().Modified);
    QVERIFY(w->DeleteMsg->isEnabled());
    QCOMPARE(FilesIn(work.current()), QStringList{"MESS340.6"});
    const QByteArray recording = ReadTestFile(work.path() + "announce.wav");
    QCOMPARE(ReadTestFile(work.current() + "MESS340.6"), recording);
    const std::uint32_t n = 12 * 2048;
    QCOMPARE(recording.left(58), CaptureFixture::MessageHead(tag, n));
    const QByteArray sox =
        CaptureFixture::SoxEncode(CaptureFixture::Bytes(m_speech.data(), n),
                                  tag == WaveTag::MuLaw ? QStringLiteral("u-law") : QStringLiteral("a-law"));
    QVERIFY2(recording.mid(58) == sox, "the message differs from sox's encoding of the speech");
    w->Timer1Timer();
    QCOMPARE(w->RecordLevelPg->value(), 0);
    // The seconds timer no longer counts.
    w->SecondsTimerTimer();
    QCOMPARE(w->DurationL->text(), QStringLiteral("3"));

    // Played back: 3.07 s, so the last block (576 bytes and silence) shows the total.
    rig.Click(1);
    QVERIFY(w->ACMWaveOut1->Playing());
    QCOMPARE(w->ACMWaveOut1->GetTimeTotal(), 3072u);
    QStringList labels;
    for (int ms = 0; ms <= 3500; ms += 500) {
        w->Timer1Timer();
        if (labels.isEmpty() || labels.last() != w->PlaybackL->text())
            labels << w->PlaybackL->text();
        rig.clock->AdvanceMs(500);
        QTest::qWait(80); // the player's worker refills the ring meanwhile
    }
    QCOMPARE(labels, (QStringList{"0 / 3", "1 / 3", "2 / 3", "3 / 3"}));
    rig.clock->AdvanceMs(1000);
    QTRY_COMPARE(w->PlaybackL->text(), QString());
    QVERIFY(!w->ACMWaveOut1->Playing());
    QCOMPARE(rig.messages.scripted.entries.size(), 0);
    QCOMPARE(rig.messages.offThread.load(), 0);
}

void TestMessageTab::lengthChoosesTheName_data()
{
    QTest::addColumn<int>("blocks");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("other");
    QTest::addColumn<QString>("duration");
    QTest::newRow("117 blocks: 29 s") << 117 << "MESS340.6"
                                      << "MESS340.WAV"
                                      << "29";
    QTest::newRow("118 blocks: 30 s") << 118 << "MESS340.WAV"
                                      << "MESS340.6"
                                      << "30";
}

void TestMessageTab::lengthChoosesTheName()
{
    QFETCH(int, blocks);
    QFETCH(QString, name);
    QFETCH(QString, other);
    QFETCH(QString, duration);
    TempWorkFolder work;
    QVERIFY(WriteTestFile(work.current() + other, G711Message(WaveTag::ALaw, 4000)));
    MessageTabRig rig;
    VirtualSoundConfig cfg;
    cfg.generator = [](std::uint64_t frame, std::uint32_t rate) { return Fixture::ToneSample(440, rate, int(frame)); };
    rig.Start(work.path(), cfg);
    TFormServerSetup* w = rig.w();
    rig.Click(4);
    QVERIFY(w->Recording());
    QVERIFY(rig.Capture(blocks));
    rig.Click(2);
    QCOMPARE(w->DurationL->text(), duration);
    QCOMPARE(w->Snapshot().MessageFile, name);
    QCOMPARE(FilesIn(work.current()), QStringList{name});
    const QByteArray file = ReadTestFile(work.current() + name);
    QCOMPARE(file.size(), qsizetype(58 + blocks * 2048));
    QCOMPARE(file, ReadTestFile(work.path() + "announce.wav"));
}

void TestMessageTab::levelMeter_data()
{
    QTest::addColumn<int>("sample");
    QTest::addColumn<int>("level");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("peak 32767: 99, navy") << 32767 << 99 << QColor(0, 0, 128);
    QTest::newRow("peak 32768: 100, red") << -32768 << 100 << QColor(255, 0, 0);
    QTest::newRow("peak 8192: 50, navy") << 8192 << 50 << QColor(0, 0, 128);
    QTest::newRow("silence: 0, navy") << 0 << 0 << QColor(0, 0, 128);
}

void TestMessageTab::levelMeter()
{
    QFETCH(int, sample);
    QFETCH(int, level);
    QFETCH(QColor, colour);
    TempWorkFolder work;
    MessageTabRig rig;
    // Two buffers at full scale (-32768), then the sample: the colour follows each peak.
    VirtualSoundConfig cfg;
    cfg.generator = [sample](std::uint64_t frame, std::uint32_t) {
        return static_cast<std::int16_t>(frame < 2 * 2048 ? -32768 : sample);
    };
    rig.Start(work.path(), cfg);
    TFormServerSetup* w = rig.w();
    QCOMPARE(w->RecordLevelPg->palette().color(QPalette::Highlight), QColor(0, 0, 128));
    rig.Click(4);
    QVERIFY(rig.Capture(2));
    w->Timer1Timer();
    QCOMPARE(w->RecordLevelPg->value(), 100);
    QCOMPARE(w->RecordLevelPg->palette().color(QPalette::Highlight), QColor(255, 0, 0));
    QVERIFY(rig.Capture(2));
    w->Timer1Timer();
    QCOMPARE(w->RecordLevelPg->value(), level);
    QCOMPARE(w->RecordLevelPg->palette().color(QPalette::Highlight), colour);
    QCOMPARE(TFormServerSetup::RecordLevel(static_cast<std::uint32_t>(std::abs(sample))), level);
    rig.Click(2);
    w->Timer1Timer();
    QCOMPARE(w->RecordLevelPg->value(), 0);
}

void TestMessageTab::playShowsPositionAndTotal()
{
    TempWorkFolder work;
    // 2.5 s of mu-law: three blocks, the last padded to a full second of silence.
    QVERIFY(WriteTestFile(work.current() + "MESS340.6", G711Message(WaveTag::MuLaw, 20000)));
    MessageTabRig rig;
    rig.Start(work.path());
    TFormServerSetup* w = rig.w();
    QVERIFY(w->Snapshot().MessagePresent);

    rig.Click(1);
    QVERIFY(w->ACMWaveOut1->Playing());
    QVERIFY(!w->ACMWaveOut1->GetPaused());
    QCOMPARE(w->ACMWaveOut1->GetTimeTotal(), 2500u);
    QStringList labels;
    QList<int> bars;
    for (int ms = 0; ms < 2750; ms += 250) {
        w->Timer1Timer();
        if (labels.isEmpty() || labels.last() != w->PlaybackL->text()) {
            labels << w->PlaybackL->text();
            bars << w->DurationPB->value();
        }
        rig.clock->AdvanceMs(250);
    }
    QCOMPARE(labels, (QStringList{"0 / 3", "1 / 3", "2 / 3"}));
    QCOMPARE(bars, (QList<int>{0, 40, 80}));

    // Pause holds the position; play resumes.
    rig.Click(1);
    QVERIFY(w->ACMWaveOut1->GetPaused());
    rig.clock->AdvanceMs(2000);
    w->Timer1Timer();
    QCOMPARE(w->PlaybackL->text(), QStringLiteral("2 / 3"));
    rig.Click(1);
    QVERIFY(w->ACMWaveOut1->Playing());
    QVERIFY(!w->ACMWaveOut1->GetPaused());

    // Three blocks of one second each have played: the end clears the display.
    rig.clock->AdvanceMs(300);
    QTRY_VERIFY(!w->ACMWaveOut1->Playing());
    QTRY_COMPARE(w->PlaybackL->text(), QString());
    QCOMPARE(w->DurationPB->value(), 0);
    QCOMPARE(w->ACMWaveOut1->GetState(), TACMWaveOut::Closed);
    w->Timer1Timer();
    QCOMPARE(w->PlaybackL->text(), QString());
    // What was played: the message decoded, then the silence of the last block.
    const QList<VirtualPlayback> played = rig.sound->Playbacks();
    QCOMPARE(played.size(), 1);
    const QByteArray pcm = Fixture::Decode(WaveTag::MuLaw, Fixture::G711Tone(WaveTag::MuLaw, 20000));
    QCOMPARE(played.first().played.left(pcm.size()), pcm);
    QCOMPARE(played.first().played.size(), qsizetype(3 * 16000));
    QCOMPARE(rig.messages.scripted.entries.size(), 0);
}

void TestMessageTab::seekRules()
{
    TempWorkFolder work;
    // 12.5 s.
    QVERIFY(WriteTestFile(work.current() + "MESS340.6", G711Message(WaveTag::ALaw, 100000)));
    MessageTabRig rig;
    rig.Start(work.path());
    TFormServerSetup* w = rig.w();
    TACMWaveOut* player = w->ACMWaveOut1;

    // Back and forward do nothing while nothing plays.
    rig.Click(3);
    rig.Click(0);
    QVERIFY(!player->Playing());

    rig.Click(1);
    QVERIFY(player->SetTimePosition(10));
    QCOMPARE(player->GetTimePosition(), 10u);
    rig.Click(0);
    QCOMPARE(player->GetTimePosition(), 0u); // 10 - 15, not below 0
    rig.Click(3);
    QCOMPARE(player->GetTimePosition(), 11u); // the last whole second of 12.5 s
    QVERIFY(player->SetTimePosition(10));
    rig.Click(3);
    QCOMPARE(player->GetTimePosition(), 11u);
    // Seeking while paused stays paused.
    rig.Click(1);
    QVERIFY(player->GetPaused());
    rig.Click(0);
    QCOMPARE(player->GetTimePosition(), 0u);
    QVERIFY(player->GetPaused());
    rig.Click(2);
    QVERIFY(!player->Playing());

    // A message shorter than a second: forward goes to second 0.
    QVERIFY(WriteTestFile(work.current() + "MESS340.6", G711Message(WaveTag::ALaw, 4000)));
    rig.Click(1);
    QVERIFY(player->Playing());
    QCOMPARE(player->GetTimeTotal(), 500u);
    rig.Click(3);
    QVERIFY(player->Playing());
    QCOMPARE(player->GetTimePosition(), 0u);
    rig.Click(2);
    QCOMPARE(rig.messages.scripted.entries.size(), 0);
}

void TestMessageTab::stopWhileIdleAndPlayWithoutMessage()
{
    TempWorkFolder work;
    MessageTabRig rig;
    rig.Start(work.path());
    TFormServerSetup* w = rig.w();
    QVERIFY(w->Snapshot().MessageFile.isEmpty());
    w->DurationL->setText(QStringLiteral("keep"));
    w->PlaybackL->setText(QStringLiteral("keep"));
    w->DurationPB->setValue(30);

    rig.Click(2); // stop while idle
    QCOMPARE(w->DurationL->text(), QStringLiteral("keep"));
    QCOMPARE(w->PlaybackL->text(), QStringLiteral("keep"));
    QCOMPARE(w->DurationPB->value(), 30);
    QVERIFY(!w->Snapshot().Modified);
    QCOMPARE(w->Snapshot().MessageSeconds, -1);

    rig.Click(1); // play without a message file
    QVERIFY(!w->ACMWaveOut1->Playing());
    // A message file named but missing is skipped too.
    w->Snapshot().MessageFile = QStringLiteral("MESS340.6");
    rig.Click(1);
    QVERIFY(!w->ACMWaveOut1->Playing());
    QVERIFY(rig.sound->Playbacks().isEmpty());
    QCOMPARE(FilesIn(work.current()), QStringList{});
    QCOMPARE(rig.messages.scripted.entries.size(), 0);
}

void TestMessageTab::recordingAndPlayingTogether()
{
    TempWorkFolder work;
    QVERIFY(WriteTestFile(work.current() + "MESS340.6", G711Message(WaveTag::ALaw, 8000 * 20)));
    MessageTabRig rig;
    rig.Start(work.path(), Constant(1000));
    TFormServerSetup* w = rig.w();
    rig.Click(1);
    QVERIFY(w->ACMWaveOut1->Playing());
    // Recording may start while playing; the stop then ends only the recording.
    rig.Click(4);
    QVERIFY(w->Recording());
    QVERIFY(rig.Capture(4));
    rig.Click(2);
    QVERIFY(!w->Recording());
    QVERIFY(w->ACMWaveOut1->Playing());
    QCOMPARE(w->DurationL->text(), QStringLiteral("1"));
    // Timer1 goes back to the playback display.
    w->Timer1Timer();
    QCOMPARE(w->PlaybackL->text(), QStringLiteral("1 / 20"));
    // Seeks of 15 s, the forward one never past second 19 of 20.
    QVERIFY(w->ACMWaveOut1->SetTimePosition(17));
    rig.Click(0);
    QCOMPARE(w->ACMWaveOut1->GetTimePosition(), 2u);
    rig.Click(3);
    QCOMPARE(w->ACMWaveOut1->GetTimePosition(), 17u);
    rig.Click(3);
    QCOMPARE(w->ACMWaveOut1->GetTimePosition(), 19u);
    rig.Click(2);
    QVERIFY(!w->ACMWaveOut1->Playing());
    QCOMPARE(w->PlaybackL->text(), QString());
}

void TestMessageTab::deleteMessage()
{
    TempWorkFolder work;
    QVERIFY(WriteTestFile(work.current() + "MESS340.6", G711Message(WaveTag::ALaw, 8000 * 4)));
    MessageTabRig rig;
    rig.Start(work.path());
    TFormServerSetup* w = rig.w();
    w->Snapshot().MessageSeconds = 4;
    w->ShowSnapshot();
    QCOMPARE(w->DurationL->text(), QStringLiteral("4"));
    QVERIFY(w->DeleteMsg->isEnabled());

    rig.messages.scripted.Answer(MsgResult::Cancel);
    QTest::mouseClick(w->DeleteMsg, Qt::LeftButton);
    QCOMPARE(rig.messages.scripted.entries.size(), 1);
    const Entry& ask = rig.messages.scripted.entries.first();
    QCOMPARE(ask.kind, Entry::Question);
    QCOMPARE(ask.text, QStringLiteral("Delete the audio message?"));
    QCOMPARE(ask.caption, QStringLiteral("Pellaro"));
    QCOMPARE(ask.icon, MsgIcon::Question);
    QCOMPARE(ask.buttons, MsgButtons::OkCancel);
    QCOMPARE(FilesIn(work.current()), QStringList{"MESS340.6"});
    QCOMPARE(w->DurationL->text(), QStringLiteral("4"));
    QVERIFY(w->DeleteMsg->isEnabled());
    QVERIFY(w->Snapshot().MessagePresent);
    QVERIFY(!w->Snapshot().Modified);

    // OK while the message plays: the player stops and the file goes.
    rig.Click(1);
    QVERIFY(w->ACMWaveOut1->Playing());
    rig.messages.scripted.Answer(MsgResult::Ok);
    QTest::mouseClick(w->DeleteMsg, Qt::LeftButton);
    QVERIFY(!w->ACMWaveOut1->Playing());
    QCOMPARE(FilesIn(work.current()), QStringList{});
    QCOMPARE(w->DurationL->text(), QString());
    QVERIFY(!w->DeleteMsg->isEnabled());
    QVERIFY(!w->Snapshot().MessagePresent);
    QVERIFY(w->Snapshot().Modified);
    QCOMPARE(w->Snapshot().MessageFile, QStringLiteral("MESS340.6"));
    QCOMPARE(w->Snapshot().MessageSeconds, 4);
}

void TestMessageTab::startRefusals()
{
    struct Case
    {
        const char* name;
        std::function<MMRESULT(const char*)> fault;
        bool goneDevice;    // a device that left after the list was filled
        bool blockAnnounce; // "announce.wav" cannot be created
        Entry::Kind kind;
        QString text;
    };
    const Case cases[] = {
        {"device no longer there", nullptr, true, false, Entry::Message,
         QStringLiteral("The recording cannot start: the sound input \"USB headset\" is not available or "
                        "does not record 8000 Hz 16-bit mono sound.")},
        {"device does not start",
         [](const char* op) -> MMRESULT { return qstrcmp(op, "Start") == 0 ? MMSYSERR::Error : MMSYSERR::NoError; },
         false, false, Entry::Message,
         QStringLiteral("The recording cannot start: the sound input \"Default Audio Device\" is not available or "
                        "does not record 8000 Hz 16-bit mono sound.")},
        {"device cannot be opened",
         [](const char* op) -> MMRESULT {
             return qstrcmp(op, "WaveInOpen") == 0 ? MMSYSERR::Allocated : MMSYSERR::NoError;
         },
         false, false, Entry::Error,
         QStringLiteral("waveInOpen: The sound device is already in use by another program.")},
        {"recording file cannot be created", nullptr, false, true, Entry::Message, QString()},
    };
    for (const Case& c : cases) {
        TempWorkFolder work;
        if (c.blockAnnounce)
            QVERIFY(QDir().mkpath(work.path() + "announce.wav"));
        MessageTabRig rig;
        VirtualSoundConfig cfg;
        if (c.fault)
            cfg.fault = [fault = c.fault](const char* op, int) { return fault(op); };
        rig.Start(work.path(), cfg);
        TFormServerSetup* w = rig.w();
        if (c.goneDevice) {
            w->RecordDevicesCB->addItem(QStringLiteral("USB headset"));
            w->RecordDevicesCB->setCurrentIndex(2);
        }
        rig.Click(4);
        QVERIFY2(!w->Recording(), c.name);
        QVERIFY2(!w->ACMRecord1->Recorder()->Active(), c.name);
        QVERIFY2(!w->ACMRecord1->Converting(), c.name);
        QCOMPARE(rig.messages.scripted.entries.size(), 1);
        const Entry& e = rig.messages.scripted.entries.first();
        QVERIFY2(e.kind == c.kind, qPrintable(QString::fromLatin1(c.name) + QStringLiteral(": ") + e.text));
        QCOMPARE(e.text, c.blockAnnounce
                             ? QStringLiteral("Error opening/creating WaveFile -> ") + work.path() + "announce.wav"
                             : c.text);
        w->SecondsTimerTimer();
        w->Timer1Timer();
        QCOMPARE(w->DurationL->text(), QString());
        QCOMPARE(w->RecordLevelPg->value(), 0);
        QVERIFY(!w->Snapshot().Modified);
        QCOMPARE(FilesIn(work.current()), QStringList{});

        // Once the cause is gone a recording starts on the next press.
        if (c.blockAnnounce) {
            QVERIFY(QDir().rmdir(work.path() + "announce.wav"));
            rig.Click(4);
            QVERIFY(w->Recording());
            QVERIFY(rig.Capture(1));
            rig.Click(2);
            QCOMPARE(FilesIn(work.current()), QStringList{"MESS340.6"});
        }
    }
}

void TestMessageTab::placementFailureIsReported()
{
    TempWorkFolder work;
    // A folder where the message file should go: the copy cannot replace it.
    QVERIFY(QDir().mkpath(work.current() + "MESS340.6"));
    MessageTabRig rig;
    rig.Start(work.path(), Constant(500));
    TFormServerSetup* w = rig.w();
    rig.Click(4);
    QVERIFY(rig.Capture(2));
    rig.Click(2);
    QCOMPARE(rig.messages.scripted.entries.size(), 1);
    QVERIFY2(rig.messages.scripted.entries.first().text.startsWith(
                 QStringLiteral("The recording could not be stored as the notification message.\n") + work.current() +
                 "MESS340.6"),
             qPrintable(rig.messages.scripted.entries.first().text));
    // The recording itself is kept.
    QCOMPARE(ReadTestFile(work.path() + "announce.wav").size(), qsizetype(58 + 2 * 2048));
    QVERIFY(!w->Recording());
}

void TestMessageTab::writeFailureKeepsTheMessage_data()
{
    // The recording's blocks reach the disk about eight at a time and at the stop; with
    // the file's size capped where it stands, the write of one of the first nine blocks
    // fails, or, with fewer blocks, the last write at the stop.
    QTest::addColumn<int>("blocks");
    QTest::addColumn<bool>("stopsItself");
    QTest::newRow("fails while recording") << 12 << true;
    QTest::newRow("fails at the stop") << 5 << false;
}

void TestMessageTab::writeFailureKeepsTheMessage()
{
    QFETCH(int, blocks);
    QFETCH(bool, stopsItself);
    TempWorkFolder work;
    const QByteArray previous = G711Message(WaveTag::ALaw, 12000);
    QVERIFY(WriteTestFile(work.current() + "MESS340.6", previous));
    MessageTabRig rig;
    rig.Start(work.path(), Constant(500));
    TFormServerSetup* w = rig.w();
    QVERIFY(w->Snapshot().MessagePresent);
    w->Snapshot().MessageSeconds = 7;
    w->ShowSnapshot();
    QCOMPARE(w->DurationL->text(), QStringLiteral("7"));

    rig.Click(4);
    QVERIFY(w->Recording());
    // The head, or most of it, is on disk; the file may not grow any further.
    const qint64 head = QFileInfo(work.path() + "announce.wav").size();
    QVERIFY(head > 0 && head <= 58);
    CaptureFixture::FileSizeLimit cap(static_cast<rlim_t>(head));
    QVERIFY(cap.IsSet());
    int captured = 0;
    while (captured < blocks && w->ACMRecord1->Recorder()->Active()) {
        QVERIFY(rig.Capture(1));
        ++captured;
    }
    QCOMPARE(captured < blocks, stopsItself);
    QVERIFY(captured <= 9);
    if (stopsItself) {
        // The capture stops at the failed block and the tab leaves the recording state.
        QTRY_VERIFY(!w->Recording());
        QVERIFY(!w->ACMRecord1->Recorder()->Active());
    } else {
        QVERIFY(w->Recording());
        rig.Click(2);
    }
    cap.Lift();

    QVERIFY(!w->Recording());
    QVERIFY(!w->ACMRecord1->Converting());
    QVERIFY(!w->ACMRecord1->Recorder()->Active());
    QCOMPARE(rig.messages.scripted.entries.size(), 1);
    const Entry& e = rig.messages.scripted.entries.first();
    QVERIFY2(e.text.startsWith(QStringLiteral("The recording stopped: ") + work.path() +
                               "announce.wav could not be written (File too large).\n"),
             qPrintable(e.text));
    QVERIFY(e.text.endsWith(QStringLiteral("The notification message was not changed.")));
    // The message and its state are those from before the recording; the incomplete
    // recording is gone.
    QCOMPARE(FilesIn(work.current()), QStringList{"MESS340.6"});
    QCOMPARE(ReadTestFile(work.current() + "MESS340.6"), previous);
    QVERIFY(!QFile::exists(work.path() + "announce.wav"));
    QCOMPARE(w->Snapshot().MessageFile, QStringLiteral("MESS340.6"));
    QVERIFY(w->Snapshot().MessagePresent);
    QCOMPARE(w->Snapshot().MessageSeconds, 7);
    QCOMPARE(w->DurationL->text(), QStringLiteral("7"));
    QVERIFY(!w->Snapshot().Modified);
    QVERIFY(w->DeleteMsg->isEnabled());
    w->SecondsTimerTimer();
    w->Timer1Timer();
    QCOMPARE(w->DurationL->text(), QStringLiteral("7"));
    QCOMPARE(w->RecordLevelPg->value(), 0);

    // No buffer arrives any more, and Stop has nothing left to do.
    const int buffers = rig.buffers;
    rig.clock->AdvanceMs(1024);
    QTest::qWait(50);
    QCOMPARE(rig.buffers, buffers);
    rig.Click(2);
    QCOMPARE(rig.messages.scripted.entries.size(), 1);

    // The next recording works as ever.
    rig.Click(4);
    QVERIFY(w->Recording());
    QVERIFY(rig.Capture(2));
    rig.Click(2);
    QCOMPARE(rig.messages.scripted.entries.size(), 1);
    QCOMPARE(ReadTestFile(work.current() + "MESS340.6").size(), qsizetype(58 + 2 * 2048));
    QVERIFY(w->Snapshot().Modified);
    QCOMPARE(rig.messages.offThread.load(), 0);
}

void TestMessageTab::playerBoxesFromTheWorkerReachTheUiThread()
{
    TempWorkFolder work;
    // Six seconds: three blocks are queued at the open, the rest by the player's worker.
    QVERIFY(WriteTestFile(work.current() + "MESS340.6", G711Message(WaveTag::ALaw, 8000 * 6)));
    MessageTabRig rig;
    VirtualSoundConfig cfg;
    auto writes = std::make_shared<std::atomic<int>>(0);
    cfg.fault = [writes](const char* op, int) -> MMRESULT {
        if (qstrcmp(op, "Write") == 0 && ++*writes > 3)
            return MMSYSERR::NoMem;
        return MMSYSERR::NoError;
    };
    rig.Start(work.path(), cfg);
    TFormServerSetup* w = rig.w();
    rig.Click(1);
    QVERIFY(w->ACMWaveOut1->Playing());
    rig.clock->AdvanceMs(1100); // the first block is done: the worker refills and fails
    QTRY_VERIFY(!rig.messages.scripted.entries.isEmpty());
    QCOMPARE(rig.messages.offThread.load(), 0);
    QVERIFY2(rig.messages.scripted.entries.first().text.contains(QStringLiteral("MMSYSERR_NOMEM")),
             qPrintable(rig.messages.scripted.entries.first().text));
    rig.Click(2);
    QVERIFY(!w->ACMWaveOut1->Playing());
}

void TestMessageTab::uiThreadMessagesAdapter()
{
    ScriptedMessageService target;
    QObject context;
    UiThreadMessages adapter(target, &context);

    // On the context's thread the boxes pass at once, with the answer.
    target.Answer(MsgResult::Cancel);
    QCOMPARE(adapter.Ask("q", "c", MsgIcon::Question, MsgButtons::OkCancel), MsgResult::Cancel);
    adapter.ShowMessage(QStringLiteral("here"));
    QCOMPARE(target.Texts(), (QStringList{"q", "here"}));

    // From another thread they are queued; a question gets the closed-box answer.
    target.Clear();
    MsgResult answers[3] = {};
    std::thread worker([&] {
        adapter.ShowMessage(QStringLiteral("from worker"));
        adapter.ShowError(QStringLiteral("error from worker"));
        answers[0] = adapter.Ask("ok?", "c", MsgIcon::Error, MsgButtons::Ok);
        answers[1] = adapter.Ask("yes?", "c", MsgIcon::Question, MsgButtons::YesNo);
        answers[2] = adapter.Ask("cancel?", "c", MsgIcon::Question, MsgButtons::YesNoCancel);
    });
    worker.join();
    QVERIFY(target.entries.isEmpty());
    QCOMPARE(answers[0], MsgResult::Ok);
    QCOMPARE(answers[1], MsgResult::No);
    QCOMPARE(answers[2], MsgResult::Cancel);
    QTRY_COMPARE(target.Texts(), (QStringList{"from worker", "error from worker", "ok?", "yes?", "cancel?"}));
    QCOMPARE(target.entries[1].kind, Entry::Error);

    // Boxes still queued when the context goes are dropped.
    target.Clear();
    auto* gone = new QObject;
    UiThreadMessages late(target, gone);
    std::thread other([&] { late.ShowMessage(QStringLiteral("late")); });
    other.join();
    delete gone;
    QCoreApplication::processEvents();
    QVERIFY(target.entries.isEmpty());
}

QTEST_MAIN(TestMessageTab)
#include "tst_messagetab.moc"
