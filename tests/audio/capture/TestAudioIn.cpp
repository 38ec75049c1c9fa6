// TRecorder on the virtual input device, capturing real speech.
#include "AudioIn.h"
#include "VirtualSound.h"

#include "CaptureFixtures.h"
#include "ScriptedMessageService.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace CaptureFixture;

namespace {

// Records the kinds its sample handlers are called with, into a shared log.
class HandlerOwner final : public QObject
{
public:
    explicit HandlerOwner(QStringList* log, QString tag) : m_log(log), m_tag(std::move(tag)) {}
    void Notice(TRecorder*, int kind) { m_log->append(m_tag + QString::number(kind)); }
    void Other(TRecorder*, int kind) { m_log->append(m_tag + QStringLiteral("o") + QString::number(kind)); }

private:
    QStringList* m_log;
    QString m_tag;
};

int UsedPlaces(const TRecorder& r)
{
    int n = 0;
    for (const TSampleHandler& h : r.SampleHandlers())
        n += h.IsEmpty() ? 0 : 1;
    return n;
}

} // namespace

class TestAudioIn : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void defaultsAndAutoStart();
    void autoStartFailureIsShown();
    void persistentParameters();
    void buffersCarryTheSpeech_data();
    void buffersCarryTheSpeech();
    void noticesAndHandlersInOrder();
    void handlerPlaces();
    void stopWithoutOpenOnlyClearsFlags();
    void openFailures();
    void rearmFailureShownOnce();
    void closeDropsPendingBuffers();
    void restartAfterStopContinuesTheRing();

private:
    // Moves the clock one buffer at a time until `count` reaches `target`.
    bool CaptureBuffers(int& count, int target, std::int64_t bufferMs);

    QTemporaryDir m_dir;
    QString m_speech;
    std::vector<std::int16_t> m_samples;
    std::shared_ptr<ManualAudioClock> m_clock;
};

void TestAudioIn::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_speech = m_dir.filePath(QStringLiteral("speech.wav"));
    const QString error = MakeSpeechWav(m_speech, QStringLiteral("Please leave your message after the tone. "
                                                                 "The recorder keeps every call."));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_samples = ReadSamples(m_speech);
    QVERIFY(m_samples.size() > 16000);
}

bool TestAudioIn::CaptureBuffers(int& count, int target, std::int64_t bufferMs)
{
    while (count < target) {
        const int before = count;
        m_clock->AdvanceMs(bufferMs);
        if (!QTest::qWaitFor([&] { return count > before; }, 3000))
            return false;
    }
    return true;
}

void TestAudioIn::defaultsAndAutoStart()
{
    VirtualSoundSystem sound;
    ScriptedMessageService messages;
    TRecorder automatic(nullptr, sound, messages);
    TRecorder manual(nullptr, sound, messages);
    QCOMPARE(automatic.BufSize(), 256);
    QVERIFY(automatic.AutoStart());
    QCOMPARE(automatic.Device()->id(), -1);
    QCOMPARE(automatic.Quality()->Channels(), 1);
    QCOMPARE(automatic.Quality()->Frequency(), 11025);
    QCOMPARE(automatic.Quality()->BitsPerSample(), 8);
    manual.SetAutoStart(false); // before the event loop runs
    QVERIFY(!automatic.Active());
    QCoreApplication::processEvents();
    QVERIFY(automatic.Active());
    QVERIFY(automatic.HasDevice());
    QVERIFY(!manual.Active());
    QVERIFY(!manual.HasDevice());
    QVERIFY(messages.entries.isEmpty());
}

void TestAudioIn::autoStartFailureIsShown()
{
    VirtualSoundSystem sound;
    ScriptedMessageService messages;
    TRecorder rec(nullptr, sound, messages);
    rec.Device()->Setid(7);
    QCoreApplication::processEvents();
    QCOMPARE(messages.entries.size(), 1);
    QCOMPARE(messages.entries[0].caption, QStringLiteral("AudioIn auto-start"));
    QCOMPARE(messages.entries[0].text,
             QStringLiteral("EInOutError waveInOpenQuery: ") + TRecorder::ErrorText(MMSYSERR::BadDeviceId));
    QVERIFY(!rec.Active());
}

void TestAudioIn::persistentParameters()
{
    int changes = 0;
    TWaveInDeviceID a, b;
    a.OnChange = [&](QObject* sender) {
        QCOMPARE(sender, &a);
        ++changes;
    };
    a.Setid(-1);
    QCOMPARE(changes, 0); // no change, no event
    b.Setid(3);
    a.Assign(b);
    QCOMPARE(a.id(), 3);
    QCOMPARE(changes, 1);

    TAudioLineParameters p, q;
    int qualityChanges = 0;
    p.OnChange = [&](QObject*) { ++qualityChanges; };
    q.SetChannels(2);
    q.SetFrequency(8000);
    p.Assign(q); // bits stay 8: two changes
    QCOMPARE(qualityChanges, 2);
    QCOMPARE(p.Channels(), 2);
    QCOMPARE(p.Frequency(), 8000);
    QCOMPARE(p.BitsPerSample(), 8);
}

void TestAudioIn::buffersCarryTheSpeech_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("bufSize");
    QTest::addColumn<int>("bufferBytes");
    // 16-bit mono, 2048 samples: 4096 bytes, one buffer every 256 ms at 8000 Hz.
    QTest::newRow("16-bit mono, BufSize 2048") << 16 << 2048 << 4096;
    // 8-bit mono, 256 samples: every buffer, also each re-armed one, keeps 256 bytes.
    QTest::newRow("8-bit mono, BufSize 256") << 8 << 256 << 256;
}

void TestAudioIn::buffersCarryTheSpeech()
{
    QFETCH(int, bits);
    QFETCH(int, bufSize);
    QFETCH(int, bufferBytes);
    VirtualSoundConfig cfg;
    m_clock = std::make_shared<ManualAudioClock>();
    cfg.clock = m_clock;
    cfg.inputWav = m_speech;
    VirtualSoundSystem sound(cfg);
    ScriptedMessageService messages;
    TRecorder rec(nullptr, sound, messages);
    rec.SetAutoStart(false);
    rec.Quality()->SetFrequency(8000);
    rec.Quality()->SetBitsPerSample(bits);
    rec.SetBufSize(bufSize);
    QByteArray captured;
    QList<int> slotOrder;
    QList<std::uint32_t> lengths;
    int count = 0;
    rec.OnSample = [&](QObject* sender) {
        QCOMPARE(sender, &rec);
        captured.append(rec.CurrentData(), rec.BytesRecorded());
        slotOrder << (rec.CurrentIndex() + 15) % 16;
        lengths << rec.BytesRecorded();
        QCOMPARE(rec.SamplesRecorded(), rec.BytesRecorded() * 8 / static_cast<std::uint32_t>(bits));
        ++count;
    };
    QVERIFY(rec.CanOpen());
    QCOMPARE(rec.StartCapture(), MMSYSERR::NoError);
    QCOMPARE(rec.BufferBytes(), bufferBytes);
    const std::int64_t bufferNs = static_cast<std::int64_t>(bufSize) * 1000000000 / 8000;
    // Nothing before a whole buffer's time, one buffer right at it.
    m_clock->Advance(bufferNs - 1000000);
    QTest::qWait(40);
    QCOMPARE(count, 0);
    m_clock->Advance(1000000);
    QTRY_COMPARE(count, 1);
    const int buffers = 40; // more than two rounds of the ring
    QVERIFY(CaptureBuffers(count, buffers, bufferNs / 1000000 + 1));
    rec.StopCapture();
    QCoreApplication::processEvents();
    for (int i = 0; i < buffers; ++i) {
        QCOMPARE(lengths[i], static_cast<std::uint32_t>(bufferBytes));
        QCOMPARE(slotOrder[i], i % 16);
    }
    for (int s = 0; s < 16; ++s) {
        const tWaveHdr& h = rec.Header(s);
        if (h.lpData)
            QCOMPARE(h.dwBufferLength, static_cast<std::uint32_t>(bufferBytes));
    }
    // The buffers, in the order they came, are the speech without a gap or overlap.
    QByteArray expected;
    const int frames = buffers * bufSize;
    for (int i = 0; i < frames; ++i) {
        const std::int16_t s =
            static_cast<std::size_t>(i) < m_samples.size() ? m_samples[static_cast<std::size_t>(i)] : 0;
        if (bits == 16)
            expected.append(Bytes(&s, 1));
        else
            expected.append(static_cast<char>((s >> 8) + 128));
    }
    QCOMPARE(captured.left(expected.size()).size(), expected.size());
    QVERIFY(captured.left(expected.size()) == expected);
}

void TestAudioIn::noticesAndHandlersInOrder()
{
    VirtualSoundConfig cfg;
    m_clock = std::make_shared<ManualAudioClock>();
    cfg.clock = m_clock;
    VirtualSoundSystem sound(cfg);
    ScriptedMessageService messages;
    TRecorder rec(nullptr, sound, messages);
    rec.SetAutoStart(false);
    QStringList log;
    HandlerOwner first(&log, QStringLiteral("A")), second(&log, QStringLiteral("B"));
    rec.AddSampleHandler(TSampleHandler(&first, &HandlerOwner::Notice));  // place 7
    rec.AddSampleHandler(TSampleHandler(&second, &HandlerOwner::Notice)); // place 6
    QCOMPARE(rec.SampleHandlers()[7].Object(), &first);
    QCOMPARE(rec.SampleHandlers()[6].Object(), &second);
    int count = 0;
    rec.OnSample = [&](QObject*) {
        log << QStringLiteral("S");
        ++count;
    };
    rec.Quality()->SetFrequency(8000);
    rec.SetBufSize(800); // 100 ms
    rec.StartCapture();
    QVERIFY(CaptureBuffers(count, 3, 100));
    rec.SetBufSize(256); // closes the device
    QTRY_VERIFY(log.contains(QStringLiteral("A1")));
    // Places are called in place order (6 before 7), the handlers before OnSample.
    QCOMPARE(log, (QStringList{"B2", "A2", "B0", "A0", "S", "B0", "A0", "S", "B0", "A0", "S", "B1", "A1"}));
}

void TestAudioIn::handlerPlaces()
{
    VirtualSoundSystem sound;
    ScriptedMessageService messages;
    TRecorder rec(nullptr, sound, messages);
    rec.SetAutoStart(false);
    QStringList log;
    std::vector<std::unique_ptr<HandlerOwner>> owners;
    for (int i = 0; i < 9; ++i)
        owners.push_back(std::make_unique<HandlerOwner>(&log, QString::number(i)));
    for (int i = 0; i < 8; ++i)
        rec.AddSampleHandler(TSampleHandler(owners[static_cast<std::size_t>(i)].get(), &HandlerOwner::Notice));
    QCOMPARE(UsedPlaces(rec), 8);
    rec.AddSampleHandler(TSampleHandler(owners[8].get(), &HandlerOwner::Notice)); // no place left
    for (const TSampleHandler& h : rec.SampleHandlers())
        QVERIFY(h.Object() != owners[8].get());

    // Removal clears every place holding exactly the handler, not other methods of its object.
    HandlerOwner* one = owners[1].get();
    rec.RemoveSampleHandler(TSampleHandler(owners[0].get(), &HandlerOwner::Notice));
    rec.RemoveSampleHandler(TSampleHandler(owners[2].get(), &HandlerOwner::Notice));
    rec.AddSampleHandler(TSampleHandler(one, &HandlerOwner::Notice));
    rec.AddSampleHandler(TSampleHandler(one, &HandlerOwner::Other));
    rec.RemoveSampleHandler(TSampleHandler(one, &HandlerOwner::Notice));
    int ofOne = 0;
    for (const TSampleHandler& h : rec.SampleHandlers())
        ofOne += h.Object() == one ? 1 : 0;
    QCOMPARE(ofOne, 1);
    QVERIFY(rec.SampleHandlers()[5] == TSampleHandler(one, &HandlerOwner::Other)); // 7 and 6 cleared

    // A destroyed object leaves no place behind, and notices reach the others only.
    owners[1].reset();
    owners[3].reset();
    QCOMPARE(UsedPlaces(rec), 4);
    for (const TSampleHandler& h : rec.SampleHandlers())
        QVERIFY(h.IsEmpty() || h.Object() != nullptr);
    rec.StartCapture();
    QTRY_VERIFY(!log.isEmpty());
    QCOMPARE(log.first(), QStringLiteral("72")); // the open notice, lowest used place first
}

void TestAudioIn::stopWithoutOpenOnlyClearsFlags()
{
    VirtualSoundSystem sound;
    ScriptedMessageService messages;
    TRecorder rec(nullptr, sound, messages);
    rec.SetAutoStart(false);
    rec.StopCapture();
    rec.ResetCapture();
    QVERIFY(!rec.Active());
    QVERIFY(!rec.Opened());
    QVERIFY(!rec.HasDevice());
    QCOMPARE(rec.SamplePos(), 0u); // the position query opens the device
    QVERIFY(rec.HasDevice());
    QVERIFY(!rec.Active());
}

void TestAudioIn::openFailures()
{
    QCOMPARE(TRecorder::ErrorText(WAVERR::BadFormat),
             QStringLiteral("The audio format is not supported by the device."));
    QCOMPARE(TRecorder::ErrorText(4711), QStringLiteral("MMERR_???"));

    VirtualSoundConfig cfg;
    int opens = 0;
    MMRESULT openFault = 0;
    cfg.fault = [&](const char* op, int) -> MMRESULT {
        if (qstrcmp(op, "WaveInOpen") == 0) {
            ++opens;
            return openFault;
        }
        return 0;
    };
    VirtualSoundSystem sound(cfg);
    ScriptedMessageService messages;
    TRecorder rec(nullptr, sound, messages);
    rec.SetAutoStart(false);

    // A device that does not exist: refused by the query, nothing opened.
    rec.Device()->Setid(3);
    QVERIFY(!rec.CanOpen());
    try {
        rec.StartCapture();
        QFAIL("no exception");
    } catch (const EInOutError& e) {
        QCOMPARE(QString::fromStdString(e.what()),
                 QStringLiteral("waveInOpenQuery: ") + TRecorder::ErrorText(MMSYSERR::BadDeviceId));
    }
    QVERIFY(rec.Opened());
    QCOMPARE(rec.StartCapture(), MMSYSERR::InvalHandle); // no second attempt until closed
    QCOMPARE(opens, 0);

    // The query passes but the open fails.
    rec.Device()->Setid(-1);
    rec.SetBufSize(256); // closes: the next start tries again
    openFault = MMSYSERR::Allocated;
    QVERIFY(rec.CanOpen());
    try {
        rec.StartCapture();
        QFAIL("no exception");
    } catch (const EInOutError& e) {
        QCOMPARE(QString::fromStdString(e.what()),
                 QStringLiteral("waveInOpen: The sound device is already in use by another program."));
    }
    QCOMPARE(opens, 1);
    QVERIFY(!rec.HasDevice());
    QVERIFY(!rec.Active());
    QVERIFY(messages.entries.isEmpty());
}

void TestAudioIn::rearmFailureShownOnce()
{
    VirtualSoundConfig cfg;
    m_clock = std::make_shared<ManualAudioClock>();
    cfg.clock = m_clock;
    int adds = 0;
    cfg.fault = [&](const char* op, int) -> MMRESULT {
        if (qstrcmp(op, "AddBuffer") == 0 && ++adds > 15)
            return MMSYSERR::NoMem;
        return 0;
    };
    VirtualSoundSystem sound(cfg);
    ScriptedMessageService messages;
    TRecorder rec(nullptr, sound, messages);
    rec.SetAutoStart(false);
    rec.Quality()->SetFrequency(8000);
    rec.SetBufSize(800);
    int count = 0;
    rec.OnSample = [&](QObject*) { ++count; };
    rec.StartCapture();
    QVERIFY(CaptureBuffers(count, 4, 100));
    QCOMPARE(messages.Texts(), QStringList{QStringLiteral("Error??")});
}

void TestAudioIn::closeDropsPendingBuffers()
{
    VirtualSoundConfig cfg;
    m_clock = std::make_shared<ManualAudioClock>();
    cfg.clock = m_clock;
    cfg.inputWav = m_speech;
    VirtualSoundSystem sound(cfg);
    ScriptedMessageService messages;
    TRecorder rec(nullptr, sound, messages);
    rec.SetAutoStart(false);
    QStringList log;
    HandlerOwner owner(&log, QStringLiteral("H"));
    rec.AddSampleHandler(TSampleHandler(&owner, &HandlerOwner::Notice));
    int samples = 0;
    rec.OnSample = [&](QObject*) { ++samples; };
    rec.Quality()->SetFrequency(8000);
    rec.SetBufSize(800);
    rec.StartCapture();
    QCoreApplication::processEvents();
    m_clock->AdvanceMs(550);
    rec.SamplePos();     // the device fills five buffers; their notices are queued
    rec.SetBufSize(400); // closes the device and frees the buffers before they are read
    QTRY_VERIFY(log.contains(QStringLiteral("H1")));
    QCOMPARE(samples, 0);
    QCOMPARE(log, (QStringList{"H2", "H1"}));
}

void TestAudioIn::restartAfterStopContinuesTheRing()
{
    VirtualSoundConfig cfg;
    m_clock = std::make_shared<ManualAudioClock>();
    cfg.clock = m_clock;
    cfg.inputWav = m_speech;
    VirtualSoundSystem sound(cfg);
    ScriptedMessageService messages;
    TRecorder rec(nullptr, sound, messages);
    rec.SetAutoStart(false);
    rec.Quality()->SetFrequency(8000);
    rec.Quality()->SetBitsPerSample(16);
    rec.SetBufSize(400); // 50 ms
    QByteArray captured;
    int count = 0;
    rec.OnSample = [&](QObject*) {
        captured.append(rec.CurrentData(), rec.BytesRecorded());
        ++count;
    };
    rec.StartCapture();
    QVERIFY(CaptureBuffers(count, 3, 50));
    m_clock->AdvanceMs(20);
    rec.SamplePos(); // part of the fourth buffer
    rec.StopCapture();
    QTRY_COMPARE(count, 4); // the partly filled buffer comes back
    QCOMPARE(rec.StartCapture(), MMSYSERR::NoError);
    QVERIFY(CaptureBuffers(count, 24, 50));
    rec.StopCapture();
    QCoreApplication::processEvents();
    const QByteArray expected = Bytes(m_samples.data(), static_cast<std::size_t>(captured.size() / 2));
    QCOMPARE(captured.size(), 23 * 800 + 320);
    QVERIFY(captured == expected);
}

QTEST_GUILESS_MAIN(TestAudioIn)
#include "TestAudioIn.moc"
