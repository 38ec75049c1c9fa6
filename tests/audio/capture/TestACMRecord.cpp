// TACMRecord on the virtual input device: speech captured into the message file, bit
// for bit as sox encodes it; the length rule; gain, clipping and peak; the first-buffer
// drop and the zero tail of a short buffer.
#include "ACMRecord.h"
#include "VirtualSound.h"

#include "CaptureFixtures.h"
#include "ScriptedMessageService.h"
#include "TestFolders.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace CaptureFixture;

class TestACMRecord : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void recordsSpeechAsSoxEncodes_data();
    void recordsSpeechAsSoxEncodes();
    void gainClippingAndPeak_data();
    void gainClippingAndPeak();
    void shortBuffers();
    void startRefusals();

private:
    struct Rig
    {
        std::shared_ptr<ManualAudioClock> clock = std::make_shared<ManualAudioClock>();
        std::unique_ptr<VirtualSoundSystem> sound;
        ScriptedMessageService messages;
        std::unique_ptr<TACMRecord> rec;
        int buffers = 0;
    };
    void MakeRig(Rig& rig, std::function<std::int16_t(std::uint64_t, std::uint32_t)> generator = {});
    // Lets the device time run for `blocks` whole buffers of 256 ms, one at a time.
    static bool Capture(Rig& rig, int blocks);

    QTemporaryDir m_dir;
    QString m_speechWav;
    std::vector<std::int16_t> m_speech;
};

void TestACMRecord::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_speechWav = m_dir.filePath(QStringLiteral("speech.wav"));
    // About 32 s of speech: more than the longest recording here.
    const QString error = MakeSpeechWav(m_speechWav,
                                        QStringLiteral("Thank you for calling. Your message will be recorded. "
                                                       "Please speak after the tone."),
                                        7);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_speech = ReadSamples(m_speechWav);
    QVERIFY2(m_speech.size() > 118 * 2048, qPrintable(QString::number(m_speech.size())));
}

void TestACMRecord::MakeRig(Rig& rig, std::function<std::int16_t(std::uint64_t, std::uint32_t)> generator)
{
    VirtualSoundConfig cfg;
    cfg.clock = rig.clock;
    if (generator)
        cfg.generator = std::move(generator);
    else
        cfg.inputWav = m_speechWav;
    rig.sound = std::make_unique<VirtualSoundSystem>(cfg);
    rig.rec = std::make_unique<TACMRecord>(nullptr, *rig.sound, rig.messages);
    // Count the buffers through a second handler: OnSample belongs to TACMRecord.
    TRecorder* recorder = rig.rec->Recorder();
    TNotifyEvent inner = recorder->OnSample;
    recorder->OnSample = [inner, &rig](QObject* sender) {
        inner(sender);
        ++rig.buffers;
    };
}

bool TestACMRecord::Capture(Rig& rig, int blocks)
{
    const int target = rig.buffers + blocks;
    while (rig.buffers < target) {
        const int before = rig.buffers;
        rig.clock->AdvanceMs(256);
        if (!QTest::qWaitFor([&] { return rig.buffers > before; }, 3000))
            return false;
    }
    return true;
}

void TestACMRecord::recordsSpeechAsSoxEncodes_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<int>("duration");
    QTest::newRow("a-law, 117 blocks: 29 s") << int(WaveTag::ALaw) << QStringLiteral("a-law") << 117 << 29;
    QTest::newRow("mu-law, 118 blocks: 30 s") << int(WaveTag::MuLaw) << QStringLiteral("u-law") << 118 << 30;
}

void TestACMRecord::recordsSpeechAsSoxEncodes()
{
    QFETCH(int, tag);
    QFETCH(QString, encoding);
    QFETCH(int, blocks);
    QFETCH(int, duration);
    Rig rig;
    MakeRig(rig);
    rig.rec->SetTargetFormat(FormatOut(G711Format(static_cast<std::uint16_t>(tag))));
    QVERIFY(rig.rec->StartRecorder(-1));
    QCOMPARE(rig.rec->Recorder()->BufSize(), 2048);
    QCOMPARE(rig.rec->Recorder()->BufferBytes(), 4096);
    const QString path = m_dir.filePath(QStringLiteral("announce.wav"));
    QVERIFY(rig.rec->BeginFile(path));
    QVERIFY(Capture(rig, blocks));
    QVERIFY(rig.rec->PeakLevel() > 0);
    rig.rec->EndFile();
    rig.rec->StopRecorder();
    QCOMPARE(rig.rec->Duration(), duration);
    QCOMPARE(rig.rec->PeakLevel(), 0u);

    const QByteArray file = ReadTestFile(path);
    const std::uint32_t n = static_cast<std::uint32_t>(blocks) * 2048;
    QCOMPARE(file.size(), static_cast<qsizetype>(58 + n));
    QCOMPARE(file.left(58), MessageHead(static_cast<std::uint16_t>(tag), n));
    const QByteArray sox = SoxEncode(Bytes(m_speech.data(), n), encoding);
    QVERIFY2(file.mid(58) == sox, "the captured audio differs from sox's encoding of the speech");
    QVERIFY(rig.messages.entries.isEmpty());
}

void TestACMRecord::gainClippingAndPeak_data()
{
    QTest::addColumn<int>("input");
    QTest::addColumn<int>("gain");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("peak");
    QTest::newRow("full scale, gain 1") << 32767 << 1 << 32767 << 32767;
    QTest::newRow("lowest, gain 1") << -32768 << 1 << -32768 << 32768;
    QTest::newRow("clipped high") << 20000 << 2 << 32767 << 32767;
    QTest::newRow("clipped low") << -20000 << 2 << -32768 << 32768;
    QTest::newRow("negative gain") << 1000 << -3 << -3000 << 3000;
    QTest::newRow("huge gain") << 2 << 2000000000 << 32767 << 32767;
    QTest::newRow("silence") << 0 << 5 << 0 << 0;
}

void TestACMRecord::gainClippingAndPeak()
{
    QFETCH(int, input);
    QFETCH(int, gain);
    QFETCH(int, stored);
    QFETCH(int, peak);
    Rig rig;
    MakeRig(rig, [input](std::uint64_t, std::uint32_t) { return static_cast<std::int16_t>(input); });
    rig.rec->SetTargetFormat(FormatOut(G711Format(WaveTag::ALaw)));
    rig.rec->SetGain(gain);
    QVERIFY(rig.rec->StartRecorder(-1));
    QVERIFY(Capture(rig, 2));
    QCOMPARE(rig.rec->PeakLevel(), static_cast<std::uint32_t>(peak));
    const std::vector<std::int16_t>& buffer = rig.rec->Buffer();
    QCOMPARE(buffer.size(), 2048u);
    QVERIFY(std::all_of(buffer.begin(), buffer.end(), [&](std::int16_t v) { return v == stored; }));
    rig.rec->StopRecorder();
    QCOMPARE(rig.rec->PeakLevel(), 0u);
}

void TestACMRecord::shortBuffers()
{
    Rig rig;
    MakeRig(rig);
    rig.rec->SetTargetFormat(FormatOut(G711Format(WaveTag::ALaw)));
    const QString path = m_dir.filePath(QStringLiteral("short.wav"));

    // A first buffer shorter than BufSize is dropped: nothing reaches the file.
    QVERIFY(rig.rec->StartRecorder(-1));
    QVERIFY(rig.rec->BeginFile(path));
    rig.clock->AdvanceMs(100);
    rig.rec->Recorder()->SamplePos(); // the device takes 800 samples
    rig.rec->StopRecorder();
    QTRY_COMPARE(rig.buffers, 1);
    rig.rec->EndFile();
    QCOMPARE(rig.rec->Duration(), 0);
    QCOMPARE(ReadTestFile(path), MessageHead(WaveTag::ALaw, 0));

    // A later short buffer is converted with its tail set to zero.
    rig.buffers = 0;
    QVERIFY(rig.rec->StartRecorder(-1)); // the device starts again from the beginning
    QVERIFY(rig.rec->BeginFile(path));
    QVERIFY(Capture(rig, 2));
    rig.clock->AdvanceMs(100);
    rig.rec->Recorder()->SamplePos();
    rig.rec->StopRecorder(); // while the file is still open
    QTRY_COMPARE(rig.buffers, 3);
    rig.rec->EndFile();
    std::vector<std::int16_t> expected(3 * 2048, 0);
    std::copy(m_speech.begin(), m_speech.begin() + 2 * 2048 + 800, expected.begin());
    const QByteArray file = ReadTestFile(path);
    QCOMPARE(file.left(58), MessageHead(WaveTag::ALaw, 3 * 2048));
    QVERIFY(file.mid(58) == SoxEncode(Bytes(expected.data(), expected.size()), QStringLiteral("a-law")));
    QCOMPARE(file.right(1248), QByteArray(1248, '\xD5')); // a-law silence
}

void TestACMRecord::startRefusals()
{
    Rig rig;
    MakeRig(rig);
    // A device that does not exist: false, no exception, no message.
    rig.rec->SetTargetFormat(FormatOut(G711Format(WaveTag::MuLaw)));
    QVERIFY(!rig.rec->StartRecorder(4));
    QVERIFY(!rig.rec->Recorder()->Active());
    // A target the converter cannot produce: no buffer size, false.
    tWAVEFORMATEX adpcm = G711Format(WaveTag::ALaw);
    adpcm.wFormatTag = 2;
    rig.rec->SetTargetFormat(FormatOut(adpcm));
    QVERIFY(!rig.rec->StartRecorder(-1));
    QVERIFY(rig.messages.entries.isEmpty());
    QCOMPARE(rig.rec->PeakLevel(), 0u);
}

QTEST_GUILESS_MAIN(TestACMRecord)
#include "TestACMRecord.moc"
