// TWaveOut and its worker on the virtual back-end.
#include "AudioFixtures.h"
#include "VirtualSound.h"
#include "WaveOut.h"

#include "ScriptedMessageService.h"

#include <QtTest>

#include <atomic>

namespace {

// 4048-byte buffers filled with their number.
QByteArray Buffer(int n, int size = 4048)
{
    return QByteArray(size, static_cast<char>('A' + n));
}

// The time one default buffer lasts at 16000 bytes per second.
constexpr std::int64_t kBufferNs = 4048LL * 1000000000LL / 16000;

} // namespace

class TestWaveOut : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void defaultsAndPropertyRules();
    void triggerAboveCountFiresOnEveryCompletion();
    void completionWhilePausedRaisesNothing();
    void doneNoticesAfterResetAreIgnored();
    void closeTwiceAndFullRing();
    void failedOpenOnDevice3ShowsTwoMessages();
    void failuresOfPauseAndWrite();
    void errorMessages_data();
    void errorMessages();
    void deviceNamesAndPositions();

private:
    std::shared_ptr<ManualAudioClock> m_clock;
    std::unique_ptr<VirtualSoundSystem> m_sound;
    ScriptedMessageService m_messages;
    MMRESULT m_writeFault = 0;
    MMRESULT m_pauseFault = 0;
};

void TestWaveOut::init()
{
    m_clock = std::make_shared<ManualAudioClock>();
    VirtualSoundConfig cfg;
    cfg.clock = m_clock;
    cfg.outputs = QStringList{QStringLiteral("Virtual Output"), QStringLiteral("Second Output")};
    m_writeFault = m_pauseFault = 0;
    cfg.fault = [this](const char* op, int) {
        if (qstrcmp(op, "Write") == 0)
            return m_writeFault;
        if (qstrcmp(op, "Pause") == 0)
            return m_pauseFault;
        return MMRESULT(0);
    };
    m_sound = std::make_unique<VirtualSoundSystem>(cfg);
    m_messages.Clear();
}

void TestWaveOut::defaultsAndPropertyRules()
{
    TWaveOut w(nullptr, *m_sound, m_messages);
    QCOMPARE(w.BufferSize(), 4048);
    QCOMPARE(w.BufferCount(), 4);
    QCOMPARE(w.TriggerPosition(), 8);
    QCOMPARE(w.nChannels(), std::uint16_t(1));
    QCOMPARE(w.nSamplesPerSecond(), 8000u);
    QCOMPARE(w.nBitsPerSample(), std::uint16_t(16));
    QCOMPARE(w.nBlockAlign(), std::uint16_t(2));
    QCOMPARE(w.nAvgBytesPerSec(), 16000u);
    QCOMPARE(w.GetWaveFormaTex().wFormatTag, WaveTag::Pcm);
    QCOMPARE(w.GetState(), TWaveOut::Closed);
    QCOMPARE(w.BufferFree(), 4);
    QCOMPARE(w.WaveOutNumDevs(), 2u);

    w.SetBufferSize(16);
    QCOMPARE(w.BufferSize(), 4048);
    w.SetBufferSize(17);
    QCOMPARE(w.BufferSize(), 17);
    w.SetBufferCount(0);
    QCOMPARE(w.BufferCount(), 4);
    w.SetBufferCount(3);
    QCOMPARE(w.BufferCount(), 3);
    QCOMPARE(w.TriggerPosition(), 2);
    w.SetTriggerPosition(4); // above the count
    QCOMPARE(w.TriggerPosition(), 2);
    w.SetTriggerPosition(3);
    QCOMPARE(w.TriggerPosition(), 3);
    w.SetnChannels(2);
    QCOMPARE(w.nBlockAlign(), std::uint16_t(4));
    QCOMPARE(w.nAvgBytesPerSec(), 32000u);
    w.SetnSamplesPerSecond(44100);
    QCOMPARE(w.nAvgBytesPerSec(), 176400u);
    w.SetnBitsPerSample(8);
    QCOMPARE(w.nBlockAlign(), std::uint16_t(2));
    tWAVEFORMATEX f = PcmFormat(22050, 1, 16);
    f.nBlockAlign = 7; // recomputed
    w.SetWaveFormaTex(f);
    QCOMPARE(w.nBlockAlign(), std::uint16_t(2));
    QCOMPARE(w.nAvgBytesPerSec(), 44100u);

    // Nothing changes while open.
    QVERIFY(w.Open(-1));
    QCOMPARE(w.GetState(), TWaveOut::Opened);
    w.SetBufferSize(100);
    w.SetBufferCount(10);
    w.SetTriggerPosition(1);
    w.SetnChannels(2);
    w.SetnSamplesPerSecond(8000);
    w.SetnBitsPerSample(16);
    w.SetWaveFormaTex(PcmFormat(8000));
    QCOMPARE(w.BufferSize(), 17);
    QCOMPARE(w.BufferCount(), 3);
    QCOMPARE(w.TriggerPosition(), 3);
    QCOMPARE(w.nChannels(), std::uint16_t(1));
    QCOMPARE(w.nSamplesPerSecond(), 22050u);
    QVERIFY(w.Close());
    QVERIFY(m_messages.entries.isEmpty());
}

void TestWaveOut::triggerAboveCountFiresOnEveryCompletion()
{
    TWaveOut w(nullptr, *m_sound, m_messages);
    std::atomic<int> triggers{0}, finishes{0};
    std::atomic<bool> senderOk{true}, onWorker{true};
    int next = 3;
    const int total = 8;
    QThread* mainThread = QThread::currentThread();
    w.OnBufferTrigger = [&](QObject* s) {
        ++triggers;
        senderOk = senderOk && s == &w;
        onWorker = onWorker && QThread::currentThread() != mainThread;
        if (next < total) {
            const QByteArray b = Buffer(next++);
            if (!w.Queue(b.constData())) // the recursive lock is held here
                senderOk = false;
        }
    };
    w.OnFinish = [&](QObject* s) {
        ++finishes;
        senderOk = senderOk && s == &w;
    };
    QVERIFY(w.Open(-1));
    QByteArray expected;
    for (int i = 0; i < 3; ++i) {
        const QByteArray b = Buffer(i);
        QVERIFY(w.Queue(b.constData()));
    }
    for (int i = 0; i < total; ++i)
        expected += Buffer(i);
    QCOMPARE(w.BufferFree(), 1);
    QVERIFY(w.Play());
    QCOMPARE(w.GetState(), TWaveOut::Playing);
    // One buffer's time at a step: each completion triggers, and the ring stays at three.
    for (int i = 0; i < total; ++i) {
        m_clock->Advance(kBufferNs);
        QTRY_COMPARE(triggers.load(), i + 1);
    }
    QTRY_COMPARE(finishes.load(), 1);
    QVERIFY(senderOk);
    QVERIFY(onWorker);
    QCOMPARE(w.Queued(), 0);
    QCOMPARE(w.Position(), std::uint32_t(total * 4048));
    QCOMPARE(w.PositionTime(), std::uint32_t(total * 4048 / 2));
    QVERIFY(w.Close());
    const auto log = m_sound->Playbacks();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log[0].played, expected);
    QCOMPARE(log[0].gaps, 0);
    QVERIFY(log[0].closed);
}

void TestWaveOut::completionWhilePausedRaisesNothing()
{
    TWaveOut w(nullptr, *m_sound, m_messages);
    int triggers = 0;
    w.OnBufferTrigger = [&](QObject*) { ++triggers; };
    QVERIFY(w.Open(-1));
    const QByteArray b = Buffer(0);
    QVERIFY(w.Queue(b.constData()));
    QVERIFY(w.Queue(b.constData()));
    QVERIFY(w.Pause());
    w.HandleBuffer(MM_WOM_DONE);
    QCOMPARE(w.Queued(), 1);
    QCOMPARE(triggers, 0);
    QVERIFY(w.Play());
    w.HandleBuffer(MM_WOM_DONE);
    QCOMPARE(w.Queued(), 0);
    QCOMPARE(triggers, 1);
    w.HandleBuffer(MM_WOM_DONE); // nothing queued: nothing happens
    QCOMPARE(w.Queued(), 0);
    QCOMPARE(triggers, 1);
    QVERIFY(w.Close());
}

void TestWaveOut::doneNoticesAfterResetAreIgnored()
{
    TWaveOut w(nullptr, *m_sound, m_messages);
    std::atomic<int> triggers{0}, finishes{0};
    w.OnBufferTrigger = [&](QObject*) { ++triggers; };
    w.OnFinish = [&](QObject*) { ++finishes; };
    QVERIFY(w.Open(-1));
    const QByteArray b = Buffer(0);
    for (int i = 0; i < 3; ++i)
        QVERIFY(w.Queue(b.constData()));
    QVERIFY(w.Play());
    m_clock->Advance(kBufferNs / 2);
    QVERIFY(w.Reset());
    QCOMPARE(w.GetState(), TWaveOut::ResetState);
    QCOMPARE(w.Queued(), 0);
    QCOMPARE(w.BufferFree(), 4);
    QTest::qWait(3 * TWaveOut::kPollIntervalMs); // the worker sees no notice to count
    QCOMPARE(w.Queued(), 0);
    QCOMPARE(triggers.load(), 0);
    QCOMPARE(finishes.load(), 0);

    // The first Queue re-enables completion handling, and the ring starts at slot 0.
    const QByteArray c = Buffer(2);
    QVERIFY(w.Queue(c.constData()));
    QCOMPARE(w.Queued(), 1);
    QVERIFY(w.Play());
    m_clock->Advance(kBufferNs);
    QTRY_COMPARE(finishes.load(), 1);
    QCOMPARE(triggers.load(), 1);
    QVERIFY(w.Close());
    const auto log = m_sound->Playbacks();
    QCOMPARE(log[0].played, b.left(2024) + c);
}

void TestWaveOut::closeTwiceAndFullRing()
{
    TWaveOut w(nullptr, *m_sound, m_messages);
    QVERIFY(w.Open(-1));
    const QByteArray b = Buffer(0), extra = Buffer(9);
    for (int i = 0; i < 4; ++i)
        QVERIFY(w.Queue(b.constData()));
    QCOMPARE(w.BufferFree(), 0);
    QVERIFY(!w.Queue(extra.constData()));
    QCOMPARE(w.Queued(), 4);
    QCOMPARE(w.BufferFree(), 0);
    QVERIFY(m_messages.entries.isEmpty()); // the full-ring text is not shown
    QVERIFY(w.Play());
    m_clock->Advance(kBufferNs * 4);
    QTRY_COMPARE(w.Queued(), 0);
    QVERIFY(w.Close());
    QCOMPARE(w.GetState(), TWaveOut::Closed);
    QVERIFY(w.Close());
    QCOMPARE(w.GetState(), TWaveOut::Closed);
    QVERIFY(m_messages.entries.isEmpty());
    QCOMPARE(m_sound->Playbacks()[0].played, b + b + b + b);
    // Closed again: sizes are accepted, and a new Open starts a clean ring.
    w.SetBufferSize(2000);
    QCOMPARE(w.BufferSize(), 2000);
    QVERIFY(w.Open(1));
    QCOMPARE(w.BufferFree(), 4);
    QVERIFY(w.Close());
}

void TestWaveOut::failedOpenOnDevice3ShowsTwoMessages()
{
    TWaveOut w(nullptr, *m_sound, m_messages);
    QVERIFY(!w.Open(3));
    QString systemText;
    WaveGetErrorText(MMSYSERR::BadDeviceId, systemText, 128);
    QCOMPARE(m_messages.Texts(),
             (QStringList{QStringLiteral("waveOutOpen Error -> 2\niIndex -> 3\n") + systemText,
                          QStringLiteral("xOpen, MMSYSERR_BADDEVICEID")}));
    QCOMPARE(m_messages.entries[0].kind, ScriptedMessageService::Entry::Message);
    QCOMPARE(w.GetState(), TWaveOut::Closed);
    QVERIFY(m_sound->Playbacks().isEmpty());
    w.SetBufferSize(1000); // still closed: accepted
    QCOMPARE(w.BufferSize(), 1000);
    QVERIFY(w.Open(-1));
    QVERIFY(w.Close());
}

void TestWaveOut::failuresOfPauseAndWrite()
{
    TWaveOut w(nullptr, *m_sound, m_messages);
    m_pauseFault = MMSYSERR::NoMem;
    QVERIFY(!w.Open(-1));
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("Pause, MMSYSERR_NOMEM")});
    QCOMPARE(w.GetState(), TWaveOut::Closed);
    m_pauseFault = 0;
    m_messages.Clear();

    QVERIFY(w.Open(-1));
    m_writeFault = WAVERR::StillPlaying;
    const QByteArray b = Buffer(0);
    QVERIFY(!w.Queue(b.constData()));
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("Write, WAVERR_STILLPLAYING")});
    QCOMPARE(w.Queued(), 0);
    m_writeFault = 0;
    QVERIFY(w.Queue(b.constData()));
    QCOMPARE(w.Queued(), 1);

    // A failing Pause inside Close leaves the state at closing; Close then returns true.
    m_messages.Clear();
    m_pauseFault = MMSYSERR::InvalHandle;
    QVERIFY(!w.Close());
    QCOMPARE(m_messages.Texts().first(), QStringLiteral("Pause, MMSYSERR_INVALHANDLE"));
    QCOMPARE(w.GetState(), TWaveOut::Closing);
    QVERIFY(w.Close());
    m_pauseFault = 0;
    QVERIFY(w.Open(-1)); // starts again from a clean state
    QCOMPARE(w.BufferFree(), 4);
    QVERIFY(w.Close());
}

void TestWaveOut::errorMessages_data()
{
    QTest::addColumn<uint>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("2") << 2u << QStringLiteral("Write, MMSYSERR_BADDEVICEID");
    QTest::newRow("4") << 4u << QStringLiteral("Write, MMSYSERR_ALLOCATED");
    QTest::newRow("5") << 5u << QStringLiteral("Write, MMSYSERR_INVALHANDLE");
    QTest::newRow("6") << 6u << QStringLiteral("Write, MMSYSERR_NODRIVER");
    QTest::newRow("7") << 7u << QStringLiteral("Write, MMSYSERR_NOMEM");
    QTest::newRow("32") << 32u << QStringLiteral("Write, WAVERR_BADFORMAT");
    QTest::newRow("33") << 33u << QStringLiteral("Write, WAVERR_STILLPLAYING");
    QTest::newRow("11") << 11u << QStringLiteral("Write, Undefined error : 11");
    QTest::newRow("above 16 bits") << 70000u << QStringLiteral("Write, Undefined error : 4464");
}

void TestWaveOut::errorMessages()
{
    QFETCH(uint, code);
    QFETCH(QString, text);
    QCOMPARE(TWaveOut::ErrorMessage("Write", code), text);
}

void TestWaveOut::deviceNamesAndPositions()
{
    TWaveOut w(nullptr, *m_sound, m_messages);
    char name[32];
    QVERIFY(w.GetWaveOutName(1, name));
    QCOMPARE(QByteArray(name), QByteArray("Second Output"));
    QVERIFY(w.GetWaveOutName(-1, name));
    QCOMPARE(QByteArray(name), QByteArray("Virtual Output"));
    QVERIFY(!w.GetWaveOutName(5, name));
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("DevCaps, MMSYSERR_BADDEVICEID")});
    QCOMPARE(w.Position(), 0u);
    QCOMPARE(w.PositionTime(), 0u);
    QVERIFY(!w.Play()); // closed: nothing to restart
    QCOMPARE(w.GetState(), TWaveOut::Closed);
}

QTEST_GUILESS_MAIN(TestWaveOut)
#include "TestWaveOut.moc"
