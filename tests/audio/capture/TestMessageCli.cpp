// pellaro-cli message import / info / delete on a temporary work folder.
#include "G711.h"
#include "MessageFile.h"
#include "WaveFormat.h"

#include "CaptureFixtures.h"
#include "TestFolders.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace CaptureFixture;

namespace {

QString Cli()
{
    return BinDir() + QStringLiteral("/pellaro-cli");
}

RunResult RunCli(const TempWorkFolder& wf, const QStringList& args)
{
    return Run(Cli(), QStringList{QStringLiteral("--workfolder"), wf.path()} + args);
}

// An 8000 Hz 16-bit mono WAV holding exactly these samples (channels copies of each).
QString WriteWav(const QString& path, const std::vector<std::int16_t>& samples, int channels = 1, int rate = 8000)
{
    QByteArray raw;
    for (std::int16_t s : samples)
        for (int c = 0; c < channels; ++c)
            raw.append(Bytes(&s, 1));
    const RunResult r =
        Run(QStringLiteral("sox"),
            {QStringLiteral("-D"), QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-r"),
             QString::number(rate), QStringLiteral("-e"), QStringLiteral("signed-integer"), QStringLiteral("-b"),
             QStringLiteral("16"), QStringLiteral("-c"), QString::number(channels), QStringLiteral("-"), path},
            raw);
    return r.exitCode == 0 ? QString() : QString::fromLocal8Bit(r.err);
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b, int lag)
{
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::int64_t j = static_cast<std::int64_t>(i) + lag;
        if (j < 0 || j >= static_cast<std::int64_t>(b.size()))
            continue;
        ab += a[i] * b[static_cast<std::size_t>(j)];
        aa += a[i] * a[i];
        bb += b[static_cast<std::size_t>(j)] * b[static_cast<std::size_t>(j)];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

} // namespace

class TestMessageCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void importPlacesByLength_data();
    void importPlacesByLength();
    void importReadsCommonFormats_data();
    void importReadsCommonFormats();
    void stereoIsMixedToMono();
    void lawFromReportOrOption_data();
    void lawFromReportOrOption();
    void failuresChangeNothing_data();
    void failuresChangeNothing();
    void writeFailureChangesNothing();
    void infoAndDelete();
    void placeMessageFile();

private:
    QTemporaryDir m_dir;
    QString m_speechWav;
    std::vector<std::int16_t> m_speech; // over 30 s
};

void TestMessageCli::initTestCase()
{
    QVERIFY2(QFile::exists(Cli()), qPrintable(Cli() + QStringLiteral(" is not built")));
    QVERIFY(m_dir.isValid());
    m_speechWav = m_dir.filePath(QStringLiteral("speech.wav"));
    const QString error = MakeSpeechWav(
        m_speechWav, QStringLiteral("You have reached the recorder. Your call will be recorded after the tone."), 9);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_speech = ReadSamples(m_speechWav);
    QVERIFY(m_speech.size() > 118 * 2048);
}

void TestMessageCli::importPlacesByLength_data()
{
    QTest::addColumn<int>("samples");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("other");
    QTest::addColumn<int>("seconds");
    QTest::newRow("117 blocks: 29 s, short name") << 117 * 2048 << "MESS340.6"
                                                  << "MESS340.WAV" << 29;
    QTest::newRow("116.5 blocks completed: 29 s") << 116 * 2048 + 1024 << "MESS340.6"
                                                  << "MESS340.WAV" << 29;
    QTest::newRow("118 blocks: 30 s, long name") << 118 * 2048 << "MESS340.WAV"
                                                 << "MESS340.6" << 30;
}

void TestMessageCli::importPlacesByLength()
{
    QFETCH(int, samples);
    QFETCH(QString, name);
    QFETCH(QString, other);
    QFETCH(int, seconds);
    TempWorkFolder wf;
    QVERIFY(WriteTestFile(wf.current() + other, "the previous message"));
    const std::vector<std::int16_t> pcm(m_speech.begin(), m_speech.begin() + samples);
    const QString source = m_dir.filePath(QStringLiteral("exact.wav"));
    const QString error = WriteWav(source, pcm);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    const RunResult r = RunCli(wf, {QStringLiteral("message"), QStringLiteral("import"), source});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QCOMPARE(QString::fromLocal8Bit(r.out).trimmed(),
             QStringLiteral("%1: a-law, %2 s (8000 Hz, 1 channel(s) read)").arg(name).arg(seconds));
    QCOMPARE(FilesIn(wf.current()), QStringList{name});
    const QByteArray message = ReadTestFile(wf.current() + name);
    QCOMPARE(ReadTestFile(wf.path() + QStringLiteral("announce.wav")), message);
    const int blocks = (samples + 2047) / 2048;
    QCOMPARE(message.left(58), MessageHead(WaveTag::ALaw, static_cast<std::uint32_t>(blocks * 2048)));
    // No resampling at 8000 Hz: exactly sox's encoding, the last block completed with silence.
    std::vector<std::int16_t> padded(pcm);
    padded.resize(static_cast<std::size_t>(blocks) * 2048, 0);
    QVERIFY(message.mid(58) == SoxEncode(Bytes(padded.data(), padded.size()), QStringLiteral("a-law")));
}

void TestMessageCli::importReadsCommonFormats_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QStringList>("soxOptions");
    QTest::newRow("WAV 22050 Hz mono") << "wav" << QStringList{"-r", "22050"};
    QTest::newRow("FLAC 44100 Hz stereo") << "flac" << QStringList{"-r", "44100", "-c", "2"};
    QTest::newRow("Ogg Vorbis 16000 Hz") << "ogg" << QStringList{"-r", "16000"};
    QTest::newRow("WAV 8000 Hz 24-bit") << "wav" << QStringList{"-b", "24"};
}

void TestMessageCli::importReadsCommonFormats()
{
    QFETCH(QString, suffix);
    QFETCH(QStringList, soxOptions);
    // Five seconds of the speech, in the format of the row.
    const std::vector<std::int16_t> pcm(m_speech.begin(), m_speech.begin() + 40000);
    const QString plain = m_dir.filePath(QStringLiteral("five.wav"));
    QVERIFY(WriteWav(plain, pcm).isEmpty());
    const QString source = m_dir.filePath(QStringLiteral("source.") + suffix);
    const RunResult conv =
        Run(QStringLiteral("sox"), QStringList{QStringLiteral("-D"), plain} + soxOptions + QStringList{source});
    QVERIFY2(conv.exitCode == 0, conv.err.constData());

    TempWorkFolder wf;
    const RunResult r = RunCli(wf, {QStringLiteral("message"), QStringLiteral("import"), source});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QByteArray message = ReadTestFile(wf.current() + QStringLiteral("MESS340.6"));
    QVERIFY(message.size() > 58);
    const std::uint32_t n = static_cast<std::uint32_t>(message.size() - 58);
    QCOMPARE(message.left(58), MessageHead(WaveTag::ALaw, n));
    QCOMPARE(n, 20u * 2048u); // 40000 samples in whole blocks
    // The sound is the speech: decoded, it follows the original closely.
    std::vector<double> got(n), want(pcm.begin(), pcm.end());
    for (std::uint32_t i = 0; i < n; ++i)
        got[i] = G711::ALawToLinear(static_cast<std::uint8_t>(message.at(static_cast<int>(58 + i))));
    double best = 0;
    for (int lag = -16; lag <= 16; ++lag)
        best = std::max(best, Correlation(want, got, lag));
    QVERIFY2(best > 0.95, qPrintable(QString::number(best)));
}

void TestMessageCli::stereoIsMixedToMono()
{
    const std::vector<std::int16_t> pcm(m_speech.begin(), m_speech.begin() + 16384);
    const QString mono = m_dir.filePath(QStringLiteral("mono.wav"));
    const QString stereo = m_dir.filePath(QStringLiteral("stereo.wav"));
    QVERIFY(WriteWav(mono, pcm, 1).isEmpty());
    QVERIFY(WriteWav(stereo, pcm, 2).isEmpty());
    TempWorkFolder a, b;
    QCOMPARE(RunCli(a, {QStringLiteral("message"), QStringLiteral("import"), mono}).exitCode, 0);
    QCOMPARE(RunCli(b, {QStringLiteral("message"), QStringLiteral("import"), stereo}).exitCode, 0);
    const QByteArray fromMono = ReadTestFile(a.current() + QStringLiteral("MESS340.6"));
    QCOMPARE(fromMono.size(), 58 + 16384);
    QCOMPARE(ReadTestFile(b.current() + QStringLiteral("MESS340.6")), fromMono);
}

void TestMessageCli::lawFromReportOrOption_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("tag");
    QTest::newRow("no report: a-law") << QByteArray() << QStringList() << 6;
    QTest::newRow("report selects mu-law") << QByteArray("Sonvault IST1 V4.2\r\n") << QStringList() << 7;
    QTest::newRow("report selects a-law") << QByteArray("Sonvault ISE1 V4.2\r\n") << QStringList() << 6;
    QTest::newRow("option beats the report") << QByteArray("Sonvault IST1\r\n") << QStringList{"--law", "alaw"} << 6;
    QTest::newRow("option mu-law") << QByteArray() << QStringList{"--law", "mulaw"} << 7;
}

void TestMessageCli::lawFromReportOrOption()
{
    QFETCH(QByteArray, report);
    QFETCH(QStringList, options);
    QFETCH(int, tag);
    TempWorkFolder wf;
    if (!report.isEmpty())
        QVERIFY(WriteTestFile(wf.current() + QStringLiteral("osreply.txt"), report));
    const std::vector<std::int16_t> pcm(m_speech.begin(), m_speech.begin() + 4096);
    const QString source = m_dir.filePath(QStringLiteral("law.wav"));
    QVERIFY(WriteWav(source, pcm).isEmpty());
    const RunResult r = RunCli(wf, QStringList{QStringLiteral("message"), QStringLiteral("import"), source} + options);
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QByteArray message = ReadTestFile(wf.current() + QStringLiteral("MESS340.6"));
    QCOMPARE(message.left(58), MessageHead(static_cast<std::uint16_t>(tag), 4096));
    QVERIFY(message.mid(58) ==
            SoxEncode(Bytes(pcm.data(), pcm.size()), tag == 7 ? QStringLiteral("u-law") : QStringLiteral("a-law")));
}

void TestMessageCli::failuresChangeNothing_data()
{
    QTest::addColumn<QString>("file"); // written into the temporary folder first unless "missing"
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QByteArray emptyWav =
        MessageHead(WaveTag::Pcm, 0).replace(20, 16, QByteArray::fromHex("01000100401f0000803e000002001000"));
    QTest::newRow("missing file") << "missing" << QByteArray() << QStringList() << 1 << "Cannot read the audio file";
    QTest::newRow("not audio") << "notes.txt" << QByteArray("just some text\n") << QStringList() << 1
                               << "Cannot read the audio file";
    QTest::newRow("no sound") << "empty.wav" << emptyWav << QStringList() << 1 << "holds no sound";
    QTest::newRow("unknown law") << "missing" << QByteArray() << QStringList{"--law", "g722"} << 2 << "unknown law";
    QTest::newRow("no file named") << "" << QByteArray() << QStringList() << 2 << "usage: message import";
}

void TestMessageCli::failuresChangeNothing()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, extra);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    TempWorkFolder wf;
    QVERIFY(WriteTestFile(wf.path() + QStringLiteral("announce.wav"), "the last recording"));
    QVERIFY(WriteTestFile(wf.current() + QStringLiteral("MESS340.WAV"), "the long message"));
    QStringList args{QStringLiteral("message"), QStringLiteral("import")};
    if (!file.isEmpty()) {
        const QString path = m_dir.filePath(file);
        if (file != QLatin1String("missing"))
            QVERIFY(WriteTestFile(path, content));
        args << path;
    }
    const RunResult r = RunCli(wf, args + extra);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(QString::fromLocal8Bit(r.err).contains(message), r.err.constData());
    QCOMPARE(FilesIn(wf.path()), (QStringList{"announce.wav"}));
    QCOMPARE(ReadTestFile(wf.path() + QStringLiteral("announce.wav")), QByteArray("the last recording"));
    QCOMPARE(FilesIn(wf.current()), QStringList{"MESS340.WAV"});
    QCOMPARE(ReadTestFile(wf.current() + QStringLiteral("MESS340.WAV")), QByteArray("the long message"));
}

void TestMessageCli::writeFailureChangesNothing()
{
    // The disk fills while the message is written: the limit on file size is inherited by the
    // command, whose writes then fail with EFBIG (SIGXFSZ ignored, which is inherited too).
    // Cases: the first block already fails, and a failure after some blocks went through.
    const QString source = m_dir.filePath(QStringLiteral("long.wav"));
    std::vector<std::int16_t> tone(8000 * 20);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<std::int16_t>(8000.0 * std::sin(static_cast<double>(i) * 0.3));
    QCOMPARE(WriteWav(source, tone), QString());
    for (const rlim_t limit : {rlim_t(1000), rlim_t(20000)}) {
        TempWorkFolder wf;
        QVERIFY(WriteTestFile(wf.path() + QStringLiteral("announce.wav"), "the last recording"));
        QVERIFY(WriteTestFile(wf.current() + QStringLiteral("MESS340.WAV"), "the long message"));
        FileSizeLimit cap(limit);
        QVERIFY(cap.IsSet());
        const RunResult r = RunCli(wf, {QStringLiteral("message"), QStringLiteral("import"), source});
        cap.Lift();
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("Cannot write ") && r.err.contains("announce.wav.part: File too large"),
                 r.err.constData());
        QCOMPARE(FilesIn(wf.path()), (QStringList{"announce.wav"}));
        QCOMPARE(ReadTestFile(wf.path() + QStringLiteral("announce.wav")), QByteArray("the last recording"));
        QCOMPARE(FilesIn(wf.current()), QStringList{"MESS340.WAV"});
        QCOMPARE(ReadTestFile(wf.current() + QStringLiteral("MESS340.WAV")), QByteArray("the long message"));
    }
}

void TestMessageCli::infoAndDelete()
{
    TempWorkFolder wf;
    const QStringList info{QStringLiteral("message"), QStringLiteral("info")};
    const QStringList del{QStringLiteral("message"), QStringLiteral("delete")};
    RunResult r = RunCli(wf, info);
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains("There is no notification message"));

    const std::vector<std::int16_t> pcm(m_speech.begin(), m_speech.begin() + 5 * 2048);
    const QString source = m_dir.filePath(QStringLiteral("info.wav"));
    QVERIFY(WriteWav(source, pcm).isEmpty());
    QCOMPARE(RunCli(wf, {QStringLiteral("message"), QStringLiteral("import"), source, QStringLiteral("--law"),
                         QStringLiteral("mulaw")})
                 .exitCode,
             0);
    r = RunCli(wf, info);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QString::fromLocal8Bit(r.out),
             QStringLiteral("File:     MESS340.6\nLaw:      mu-law\nLength:   1.28 s\n"));

    r = Run(Cli(), {QStringLiteral("--workfolder"), wf.path(), QStringLiteral("--no"), QStringLiteral("message"),
                    QStringLiteral("delete")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.contains("Delete the audio message?"));
    QCOMPARE(FilesIn(wf.current()), QStringList{"MESS340.6"});
    r = Run(Cli(), {QStringLiteral("--workfolder"), wf.path(), QStringLiteral("--yes"), QStringLiteral("message"),
                    QStringLiteral("delete")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(FilesIn(wf.current()).isEmpty());
    QVERIFY(QFile::exists(wf.path() + QStringLiteral("announce.wav"))); // the recording stays
    QCOMPARE(RunCli(wf, del).exitCode, 1);
}

void TestMessageCli::placeMessageFile()
{
    TempWorkFolder wf;
    const QString recording = wf.path() + QStringLiteral("announce.wav");
    QVERIFY(WriteTestFile(recording, "new recording"));
    QVERIFY(WriteTestFile(wf.current() + QStringLiteral("MESS340.WAV"), "old long"));
    MessagePlacement p = PlaceMessageFile(recording, wf.current(), 29);
    QVERIFY(p.copied && p.otherRemoved);
    QCOMPARE(p.name, QStringLiteral("MESS340.6"));
    QCOMPARE(FilesIn(wf.current()), QStringList{"MESS340.6"});
    QCOMPARE(ReadTestFile(wf.current() + p.name), QByteArray("new recording"));
    p = PlaceMessageFile(recording, wf.current(), 30);
    QCOMPARE(p.name, QStringLiteral("MESS340.WAV"));
    QCOMPARE(FilesIn(wf.current()), QStringList{"MESS340.WAV"});

    // A recording that cannot be read: nothing is replaced or removed.
    p = PlaceMessageFile(wf.path() + QStringLiteral("missing.wav"), wf.current(), 3);
    QVERIFY(!p.copied);
    QVERIFY(!p.errorText.isEmpty());
    QCOMPARE(FilesIn(wf.current()), QStringList{"MESS340.WAV"});
    // A folder that cannot be written: the same.
    p = PlaceMessageFile(recording, wf.path() + QStringLiteral("no/such/"), 3);
    QVERIFY(!p.copied);
    QVERIFY(!p.errorText.isEmpty());
}

QTEST_GUILESS_MAIN(TestMessageCli)
#include "TestMessageCli.moc"
