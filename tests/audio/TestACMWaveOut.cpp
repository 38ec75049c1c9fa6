// TACMWaveOut on the virtual back-end (clock sped up; the engine's 50 ms polling and
// the 10 ms end timer keep their production values).
#include "ACMWaveOut.h"
#include "AudioFixtures.h"
#include "VirtualSound.h"

#include "ScriptedMessageService.h"
#include "TestFolders.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

using namespace Fixture;

class TestACMWaveOut : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void alawMessagePlaysInThreeBlocks();
    void mulawMessageSeekWhilePausedStaysPaused();
    void seekWhilePlayingKeepsPlaying();
    void playOnClosedPlayer();
    void missingFileNoMessage();
    void pcmSourcePlaysInItsOwnFormat();
    void channelModes_data();
    void channelModes();
    void emptyDataEndsAtOnce();
    void seekPastTheEndEnds();
    void seekRetriesPastFailedConversions_data();
    void seekRetriesPastFailedConversions();
    void malformedFiles_data();
    void malformedFiles();
    void truncatedHeadAtEveryByte();
    void bufferedMode();
    void dynCompress();

private:
    QString Write(const QString& name, const QByteArray& bytes);
    // Plays until OnEnd; returns the largest GetTimePosition seen.
    std::uint32_t PlayToEnd(TACMWaveOut& p, int& ends, int timeoutMs = 10000);

    QTemporaryDir m_dir;
    std::unique_ptr<VirtualSoundSystem> m_sound;
    ScriptedMessageService m_messages;
};

void TestACMWaveOut::init()
{
    VirtualSoundConfig cfg;
    cfg.clock = std::make_shared<SteadyAudioClock>(8.0); // a one-second block lasts 125 ms
    m_sound = std::make_unique<VirtualSoundSystem>(cfg);
    m_messages.Clear();
}

void TestACMWaveOut::cleanup()
{
    m_sound.reset();
}

QString TestACMWaveOut::Write(const QString& name, const QByteArray& bytes)
{
    const QString path = m_dir.filePath(name);
    WriteTestFile(path, bytes);
    return path;
}

std::uint32_t TestACMWaveOut::PlayToEnd(TACMWaveOut& p, int& ends, int timeoutMs)
{
    std::uint32_t maxPos = 0;
    QElapsedTimer t;
    t.start();
    while (ends == 0 && t.elapsed() < timeoutMs) {
        maxPos = std::max(maxPos, p.GetTimePosition());
        QTest::qWait(2);
    }
    return maxPos;
}

void TestACMWaveOut::alawMessagePlaysInThreeBlocks()
{
    const QByteArray codes = G711Tone(WaveTag::ALaw, 20000); // 2.5 s
    const QString path = Write(QStringLiteral("MESS340.WAV"), MessageFile(WaveTag::ALaw, codes));
    TACMWaveOut p(nullptr, *m_sound, m_messages);
    int ends = 0;
    bool closedAtEnd = false, onMainThread = false;
    QObject* sender = nullptr;
    p.OnEnd = [&](QObject* s) {
        ++ends;
        sender = s;
        closedAtEnd = p.GetState() == TACMWaveOut::Closed;
        onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
    };
    QVERIFY(p.Open(path, -1));
    QCOMPARE(p.GetTimeTotal(), 2500u);
    QCOMPARE(p.BufferSizeIn(), 8000);
    QCOMPARE(p.Format(), int(WaveTag::ALaw));
    QCOMPARE(p.GetAvgBytesPerSec(), 8000u);
    QCOMPARE(p.Filename(), path);
    QCOMPARE(p.Engine()->Queued(), 3); // two full blocks and one padded
    QCOMPARE(p.BufferFree(), 1);
    QCOMPARE(p.Engine()->BufferSize(), 16000);
    QVERIFY(!p.GetPlaying());
    QVERIFY(p.Play());
    QVERIFY(p.GetPlaying());
    const std::uint32_t maxPos = PlayToEnd(p, ends);
    QCOMPARE(ends, 1);
    QCOMPARE(sender, &p);
    QVERIFY(closedAtEnd);
    QVERIFY(onMainThread);
    QCOMPARE(maxPos, 3u);
    QCOMPARE(p.GetTimeTotal(), 2500u); // kept after the end
    QCOMPARE(p.GetTimePosition(), 0u);
    QVERIFY(!p.Engine());
    QVERIFY(m_messages.entries.isEmpty());

    const auto log = m_sound->Playbacks();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log[0].format, PcmFormat(8000));
    QCOMPARE(log[0].played.size(), 48000);
    QCOMPARE(log[0].played, Decode(WaveTag::ALaw, codes) + QByteArray(8000, '\0'));
    QCOMPARE(log[0].gaps, 0);
    QTest::qWait(50);
    QCOMPARE(ends, 1);
}

void TestACMWaveOut::mulawMessageSeekWhilePausedStaysPaused()
{
    const QByteArray codes = G711Tone(WaveTag::MuLaw, 40000, 440); // 5 s
    const QString path = Write(QStringLiteral("MESS340.6"), MessageFile(WaveTag::MuLaw, codes));
    TACMWaveOut p(nullptr, *m_sound, m_messages);
    int ends = 0;
    p.OnEnd = [&](QObject*) { ++ends; };
    QVERIFY(p.Open(path, -1));
    QCOMPARE(p.GetTimeTotal(), 5000u);
    QVERIFY(p.Play());
    QVERIFY(p.Pause());
    QVERIFY(p.GetPaused());
    QVERIFY(p.SetTimePosition(3));
    QVERIFY(p.GetPaused());
    QCOMPARE(p.Engine()->GetState(), TWaveOut::Paused);
    QCOMPARE(p.GetTimePosition(), 3u);
    QCOMPARE(p.Engine()->Queued(), 2); // seconds 3 and 4
    QTest::qWait(300); // paused: nothing plays
    QCOMPARE(p.GetTimePosition(), 3u);
    auto log = m_sound->Playbacks();
    QCOMPARE(log.size(), 2); // the engine was opened again for the seek
    QCOMPARE(log[1].played.size(), 0);

    QVERIFY(p.Play());
    PlayToEnd(p, ends);
    QCOMPARE(ends, 1);
    log = m_sound->Playbacks();
    QCOMPARE(log[1].played, Decode(WaveTag::MuLaw, codes.mid(24000)));
    QVERIFY(m_messages.entries.isEmpty());
}

void TestACMWaveOut::seekWhilePlayingKeepsPlaying()
{
    const QByteArray codes = G711Tone(WaveTag::ALaw, 48000, 300); // 6 s
    const QString path = Write(QStringLiteral("six.wav"), MessageFile(WaveTag::ALaw, codes));
    TACMWaveOut p(nullptr, *m_sound, m_messages);
    int ends = 0;
    p.OnEnd = [&](QObject*) { ++ends; };
    QVERIFY(p.Open(path, -1));
    QVERIFY(p.Play());
    QTRY_VERIFY(p.GetTimePosition() >= 1);
    QVERIFY(p.SetTimePosition(4));
    QVERIFY(p.GetPlaying());
    QVERIFY(!p.GetPaused());
    QVERIFY(p.GetTimePosition() >= 4);
    QVERIFY(p.SetTimePosition(0)); // back again
    QVERIFY(p.GetTimePosition() < 2);
    PlayToEnd(p, ends);
    QCOMPARE(ends, 1);
    const auto log = m_sound->Playbacks();
    QCOMPARE(log.size(), 3);
    QVERIFY(log[1].played.size() <= 2 * 16000 + 8000); // cut short by the second seek
    QVERIFY(Decode(WaveTag::ALaw, codes.mid(32000)).startsWith(log[1].played));
    QCOMPARE(log[2].played, Decode(WaveTag::ALaw, codes)); // from the start to the end
    QVERIFY(m_messages.entries.isEmpty());
}

void TestACMWaveOut::playOnClosedPlayer()
{
    TACMWaveOut p(nullptr, *m_sound, m_messages);
    QVERIFY(!p.Play());
    QCOMPARE(p.GetState(), TACMWaveOut::Closed);
    QVERIFY(!p.Pause());
    QVERIFY(!p.SetTimePosition(1));
    QCOMPARE(p.GetTimePosition(), 0u);
    QVERIFY(!p.Reset());
    QVERIFY(!p.Engine());
    QVERIFY(p.Close());
    QVERIFY(m_messages.entries.isEmpty());
    QVERIFY(m_sound->Playbacks().isEmpty());
}

void TestACMWaveOut::missingFileNoMessage()
{
    TACMWaveOut p(nullptr, *m_sound, m_messages);
    QVERIFY(!p.Open(m_dir.filePath(QStringLiteral("absent.wav")), -1));
    QVERIFY(m_messages.entries.isEmpty());
    QVERIFY(!p.Engine());
    QCOMPARE(p.GetState(), TACMWaveOut::Closed);
}

void TestACMWaveOut::pcmSourcePlaysInItsOwnFormat()
{
    const tWAVEFORMATEX f = PcmFormat(22050, 2, 16);
    QByteArray data(88200 + 44100, '\0'); // 1.5 s
    for (int i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    const QString path = Write(QStringLiteral("stereo.wav"), WaveFile(f, data));
    TACMWaveOut p(nullptr, *m_sound, m_messages);
    int ends = 0;
    p.OnEnd = [&](QObject*) { ++ends; };
    QVERIFY(p.Open(path, -1));
    QCOMPARE(p.GetTimeTotal(), 1500u);
    QCOMPARE(p.OutputFormat(), f);
    QVERIFY(p.Play());
    PlayToEnd(p, ends);
    QCOMPARE(ends, 1);
    const auto log = m_sound->Playbacks();
    QCOMPARE(log[0].format, f);
    QCOMPARE(log[0].played, data + QByteArray(44100, '\0'));
}

void TestACMWaveOut::channelModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("messageLeft");
    QTest::addColumn<bool>("tone");
    QTest::newRow("1: left, tone right") << 1 << true << true;
    QTest::newRow("2: right, tone left") << 2 << false << true;
    QTest::newRow("3: left, silence right") << 3 << true << false;
    QTest::newRow("4: right, silence left") << 4 << false << false;
}

void TestACMWaveOut::channelModes()
{
    QFETCH(int, mode);
    QFETCH(bool, messageLeft);
    QFETCH(bool, tone);
    const QByteArray codes = G711Tone(WaveTag::ALaw, 16000, 1000); // 2 s at 1 kHz
    const QString path = Write(QStringLiteral("mode.wav"), MessageFile(WaveTag::ALaw, codes));
    TACMWaveOut p(nullptr, *m_sound, m_messages);
    p.SetChannelMode(mode);
    int ends = 0;
    p.OnEnd = [&](QObject*) { ++ends; };
    QVERIFY(p.Open(path, -1));
    QCOMPARE(p.GetTimeTotal(), 2000u); // counted in the file's own bytes per second
    QCOMPARE(p.OutputFormat().nSamplesPerSec, 44100u);
    QCOMPARE(p.Engine()->nChannels(), std::uint16_t(2));
    QCOMPARE(p.Engine()->BufferSize(), 2 * 88200);
    QVERIFY(p.Play());
    PlayToEnd(p, ends);
    QCOMPARE(ends, 1);
    const auto log = m_sound->Playbacks();
    QCOMPARE(log[0].format, PcmFormat(44100, 2, 16));
    const QByteArray& pcm = log[0].played;
    QCOMPARE(pcm.size(), 2 * 44100 * 4);
    int msgChannel = messageLeft ? 0 : 1, other = 1 - msgChannel;
    // The resampler's lead-in (under 100 ms) plays as silence in front.
    int firstSound = 0;
    while (firstSound < 44100 && SampleAt(pcm, 2 * firstSound + msgChannel) == 0)
        ++firstSound;
    QVERIFY2(firstSound < 44100 / 10, qPrintable(QString::number(firstSound)));
    int crossings = 0, maxMsg = 0;
    for (int n = 4411; n < 84000; ++n) { // clear of the lead-in and of what the filter holds back
        const int a = SampleAt(pcm, 2 * (n - 1) + msgChannel), b = SampleAt(pcm, 2 * n + msgChannel);
        crossings += a < 0 && b >= 0;
        maxMsg = std::max(maxMsg, std::abs(b));
    }
    QVERIFY2(std::abs(crossings - 1805) <= 3, qPrintable(QString::number(crossings)));
    QVERIFY(maxMsg > 8000);
    for (int n = 0; n < 2 * 44100; ++n) {
        const int expect = tone ? static_cast<int>(std::trunc(std::sin((n % 50000) * 2.3) * 32766.0)) : 0;
        QCOMPARE(int(SampleAt(pcm, 2 * n + other)), expect);
    }
}

void TestACMWaveOut::emptyDataEndsAtOnce()
{
    // A recording stopped before its first block: a 58-byte file with no sound.
    const QString path = Write(QStringLiteral("empty.wav"), MessageFile(WaveTag::ALaw, QByteArray()));
    QCOMPARE(ReadTestFile(path).size(), 58);
    TACMWaveOut p(nullptr, *m_sound, m_messages);
    int ends = 0;
    p.OnEnd = [&](QObject*) { ++ends; };
    QVERIFY(p.Open(path, -1));
    QCOMPARE(p.GetTimeTotal(), 0u);
    QCOMPARE(p.Engine()->Queued(), 0);
    QVERIFY(p.Play());
    QTRY_COMPARE(ends, 1);
    QCOMPARE(p.GetState(), TACMWaveOut::Closed);
}

void TestACMWaveOut::seekPastTheEndEnds()
{
    const QString path = Write(QStringLiteral("short.wav"), MessageFile(WaveTag::ALaw, G711Tone(WaveTag::ALaw, 16000)));
    TACMWaveOut p(nullptr, *m_sound, m_messages);
    int ends = 0;
    p.OnEnd = [&](QObject*) { ++ends; };
    QVERIFY(p.Open(path, -1));
    QVERIFY(p.Play());
    QVERIFY(p.SetTimePosition(17)); // +15 s from second 2 of a 2-second message
    QTRY_COMPARE(ends, 1);
    QVERIFY(m_messages.entries.isEmpty());
}

void TestACMWaveOut::seekRetriesPastFailedConversions_data()
{
    QTest::addColumn<QList<int>>("damaged"); // seconds of a 10 s message whose block fails to convert
    QTest::addColumn<int>("target");
    QTest::addColumn<QList<int>>("tried");   // blocks whose conversion failed after the seek, in order
    QTest::addColumn<int>("position");       // GetTimePosition right after the seek
    QTest::addColumn<QList<int>>("heard");   // seconds played after the seek
    QTest::newRow("two damaged seconds: retried twice")
        << QList<int>{4, 5} << 4 << QList<int>{4, 5} << 6 << QList<int>{6, 7, 8, 9};
    QTest::newRow("damaged further than the retries reach: ends")
        << QList<int>{2, 3, 4, 5, 6, 7, 8, 9} << 2 << QList<int>{2, 3, 4, 5, 6, 7} << 7 << QList<int>{};
    QTest::newRow("a block queued before the failure: no retry")
        << QList<int>{5} << 4 << QList<int>{5} << 4 << QList<int>{4, 6, 7, 8, 9};
}

void TestACMWaveOut::seekRetriesPastFailedConversions()
{
    QFETCH(QList<int>, damaged);
    QFETCH(int, target);
    QFETCH(QList<int>, tried);
    QFETCH(int, position);
    QFETCH(QList<int>, heard);
    // A damaged block begins with its second's number and fifteen 0xD5 codes; the
    // conversion service fails every a-law conversion of such a block.
    QByteArray codes = G711Tone(WaveTag::ALaw, 80000);
    for (int d : damaged) {
        codes[d * 8000] = static_cast<char>(d);
        for (int i = 1; i < 16; ++i)
            codes[d * 8000 + i] = static_cast<char>(0xD5);
    }
    QMutex lock;
    QList<int> failed;
    TAcmStream::SetConvertFault([&](const TAcmStream& stream, const tAcmStreamHeader& h) -> MMRESULT {
        if (stream.Source().wFormatTag != WaveTag::ALaw || h.cbSrcLength < 16)
            return MMSYSERR::NoError;
        for (int i = 1; i < 16; ++i) {
            if (h.pbSrc[i] != 0xD5)
                return MMSYSERR::NoError;
        }
        QMutexLocker locked(&lock);
        if (failed.isEmpty() || failed.last() != h.pbSrc[0]) // each block is tried twice in a row
            failed << h.pbSrc[0];
        return MMSYSERR::Error;
    });
    const auto noFault = qScopeGuard([] { TAcmStream::SetConvertFault({}); });

    const QString path = Write(QStringLiteral("damaged.wav"), MessageFile(WaveTag::ALaw, codes));
    TACMWaveOut p(nullptr, *m_sound, m_messages);
    int ends = 0;
    p.OnEnd = [&](QObject*) { ++ends; };
    QVERIFY(p.Open(path, -1));
    {
        QMutexLocker locked(&lock);
        failed.clear(); // what the open itself met
    }
    QVERIFY(p.SetTimePosition(static_cast<std::uint32_t>(target)));
    {
        QMutexLocker locked(&lock);
        QCOMPARE(failed, tried);
    }
    QCOMPARE(p.GetTimePosition(), std::uint32_t(position));
    QVERIFY(p.Play());
    PlayToEnd(p, ends);
    QCOMPARE(ends, 1);
    QVERIFY(m_messages.entries.isEmpty());
    const auto log = m_sound->Playbacks();
    QCOMPARE(log.size(), 2); // the engine of the open, then that of the seek
    QByteArray expected;
    for (int second : heard)
        expected += Decode(WaveTag::ALaw, codes.mid(second * 8000, 8000));
    QCOMPARE(log[1].played.size(), expected.size());
    QVERIFY(log[1].played == expected);
}

void TestACMWaveOut::malformedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message"); // empty: opens and plays
    const QByteArray fmt = WriteFormat(G711Format(WaveTag::ALaw));
    const QByteArray fact = Chunk("fact", U32(0));
    const QByteArray data = Chunk("data", G711Tone(WaveTag::ALaw, 4000));
    auto withFmt = [&](const QByteArray& f) { return Riff(Chunk("fmt ", f) + fact + data); };
    auto field16 = [&](int offset, std::uint16_t v) {
        QByteArray f = fmt;
        f[offset] = static_cast<char>(v & 0xFF);
        f[offset + 1] = static_cast<char>(v >> 8);
        return withFmt(f);
    };
    auto field32 = [&](int offset, std::uint32_t v) {
        QByteArray f = fmt;
        qToLittleEndian(v, f.data() + offset);
        return withFmt(f);
    };
    const QString damaged = QStringLiteral("%1 has a damaged format chunk.");
    QTest::newRow("fmt too short") << withFmt(fmt.left(10)) << damaged;
    QTest::newRow("fmt of 16 bytes") << withFmt(fmt.left(16)) << QString();
    QTest::newRow("fmt odd, 19 bytes") << withFmt(fmt + 'x') << QString();
    QTest::newRow("fmt too long") << withFmt(fmt + QByteArray(300, '\x7f')) << QString();
    QTest::newRow("zero bytes per second") << field32(8, 0) << damaged;
    QTest::newRow("zero block align") << field16(12, 0) << damaged;
    QTest::newRow("zero channels") << field16(2, 0) << damaged;
    QTest::newRow("zero rate") << field32(4, 0) << damaged;
    QTest::newRow("inconsistent bytes per second") << field32(8, 7999)
                                                   << QStringLiteral("Error acmStreamOpen\nResult =  512");
    QTest::newRow("unknown tag") << field16(0, 0x31) << QStringLiteral("Error acmStreamOpen\nResult =  512");
    QTest::newRow("fmt size past the end")
        << Riff(QByteArray("fmt ") + U32(0x7ffffff0) + fmt + fact + data) << QStringLiteral("%1 has no data chunk.");
    QTest::newRow("data size past the end")
        << Riff(Chunk("fmt ", fmt) + fact + QByteArray("data") + U32(0xfffffff0) + G711Tone(WaveTag::ALaw, 4000))
        << QString();
    QTest::newRow("no data chunk") << Riff(Chunk("fmt ", fmt) + fact) << QStringLiteral("%1 has no data chunk.");
    QTest::newRow("no fmt chunk") << Riff(fact + data) << QStringLiteral("%1 has no format chunk.");
    QTest::newRow("not a RIFF file") << QByteArray("ID3\x03 some mp3 bytes and more and more") << QStringLiteral("Error 265");
    QTest::newRow("RIFF of another form") << (QByteArray("RIFF") + U32(4) + "AVI ") << QStringLiteral("Error 265");
    QTest::newRow("empty file") << QByteArray() << QStringLiteral("Error 265");
    // A trailing chunk after the data is not played as sound.
    QTest::newRow("chunk after the data") << Riff(Chunk("fmt ", fmt) + data + Chunk("LIST", QByteArray(500, 'Z')))
                                          << QString();
}

void TestACMWaveOut::malformedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const QString path = Write(QStringLiteral("bad.wav"), bytes);
    TACMWaveOut p(nullptr, *m_sound, m_messages);
    int ends = 0;
    p.OnEnd = [&](QObject*) { ++ends; };
    const bool opened = p.Open(path, -1);
    if (!message.isEmpty()) {
        QVERIFY(!opened);
        QCOMPARE(m_messages.Texts(), QStringList{message.contains(QLatin1String("%1")) ? message.arg(path) : message});
        QCOMPARE(p.GetState(), TACMWaveOut::Closed);
        QVERIFY(!p.Engine());
        QVERIFY(m_sound->Playbacks().isEmpty());
        QVERIFY(!p.Play());
        return;
    }
    QVERIFY2(opened, qPrintable(m_messages.Texts().join(QLatin1Char('|'))));
    QVERIFY(m_messages.entries.isEmpty());
    QCOMPARE(p.GetTimeTotal(), 500u);
    const int block = 2 * p.BufferSizeIn();
    QCOMPARE(block, 2 * std::min<int>(8000, int(bytes.size()) - 64));
    QVERIFY(p.Play());
    PlayToEnd(p, ends);
    QCOMPARE(ends, 1);
    // Short files are read in blocks of their length less 64 bytes; the sound comes
    // out whole, every block padded with silence, and nothing after the data chunk.
    const QByteArray played = m_sound->Playbacks().first().played;
    QCOMPARE(played.size() % block, 0);
    QCOMPARE(played.left(8000), Decode(WaveTag::ALaw, G711Tone(WaveTag::ALaw, 4000)));
    QCOMPARE(played.mid(8000), QByteArray(played.size() - 8000, '\0'));
}

void TestACMWaveOut::truncatedHeadAtEveryByte()
{
    const QByteArray full = MessageFile(WaveTag::ALaw, G711Tone(WaveTag::ALaw, 800));
    for (int cut = 0; cut < 58; ++cut) {
        m_messages.Clear();
        const QString path = Write(QStringLiteral("cut.wav"), full.left(cut));
        TACMWaveOut p(nullptr, *m_sound, m_messages);
        QVERIFY2(!p.Open(path, -1), qPrintable(QString::number(cut)));
        QCOMPARE(m_messages.entries.size(), 1);
        QVERIFY(!m_messages.entries[0].text.isEmpty());
        QVERIFY(!p.Engine());
    }
    QVERIFY(m_sound->Playbacks().isEmpty());
}

void TestACMWaveOut::bufferedMode()
{
    TACMWaveOut p(nullptr, *m_sound, m_messages);
    const QByteArray codes = G711Tone(WaveTag::ALaw, 8 * 800);
    int next = 0, empties = 0, ends = 0;
    p.OnBufferEmpty = [&](QObject* s) {
        ++empties;
        if (s == &p && next < 8) {
            p.Queue(codes.constData() + 800 * next);
            ++next;
        }
    };
    p.OnEnd = [&](QObject*) { ++ends; };
    QVERIFY(p.OpenBuffered(-1, FormatOut(G711Format(WaveTag::ALaw)), 800));
    QCOMPARE(p.Filename(), QString());
    QCOMPARE(p.Engine()->BufferCount(), 8);
    QCOMPARE(p.Engine()->TriggerPosition(), 5);
    QCOMPARE(p.Engine()->BufferSize(), 1600);
    bool wait = false;
    while (!wait && next < 8)
        wait = p.Queue(codes.constData() + 800 * next++);
    QVERIFY(wait); // seven blocks in: one slot left, the caller should wait
    QCOMPARE(next, 7);
    QVERIFY(p.Play());
    QTRY_COMPARE(ends, 1);
    QVERIFY(empties >= 1);
    QCOMPARE(m_sound->Playbacks().first().played, Decode(WaveTag::ALaw, codes));

    TACMWaveOut q(nullptr, *m_sound, m_messages);
    tWAVEFORMATEX gsm = G711Format(WaveTag::ALaw);
    gsm.wFormatTag = 0x31;
    QVERIFY(!q.OpenBuffered(-1, FormatOut(gsm), 800));
    QCOMPARE(m_messages.Texts(),
             (QStringList{QStringLiteral("Error acmStreamOpen\nResult =  512"), QStringLiteral("OpenACM Failed")}));
    QVERIFY(!q.Engine());
}

void TestACMWaveOut::dynCompress()
{
    QCOMPARE(TACMWaveOut::DynCompress(0), std::int16_t(0));
    QCOMPARE(TACMWaveOut::DynCompress(32767), std::int16_t(32767));
    QCOMPARE(TACMWaveOut::DynCompress(-32767), std::int16_t(-32767));
    QCOMPARE(TACMWaveOut::DynCompress(-32768), std::int16_t(-32767));
    const int mid = static_cast<int>(std::trunc(32767.0 / std::log(20.0) * std::log(1.0 + 19.0 * 1000 / 32767.0)));
    QCOMPARE(int(TACMWaveOut::DynCompress(1000)), mid);
    QCOMPARE(int(TACMWaveOut::DynCompress(-1000)), -mid);
    int last = 0;
    for (int x = 0; x <= 32767; x += 7) {
        const int y = TACMWaveOut::DynCompress(static_cast<std::int16_t>(x));
        QVERIFY(y >= last && y >= x);
        last = y;
    }
}

QTEST_GUILESS_MAIN(TestACMWaveOut)
#include "TestACMWaveOut.moc"
