// TConverter: block sizes, the message-file layout byte for byte, G.711 against sox,
// the length rule, the note and output events, CutWaveFile and the set-up failures.
#include "Converter.h"

#include "CaptureFixtures.h"
#include "ScriptedMessageService.h"
#include "TestFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace CaptureFixture;

namespace {

tWaveFormatOut Target(std::uint16_t tag)
{
    return FormatOut(G711Format(tag));
}

// Writes `blocks` blocks of 2048 samples (a repeated ramp) through a converter.
std::int32_t WriteBlocks(TConverter& conv, const QString& path, std::uint16_t tag, int blocks)
{
    if (!conv.InitRecord(Target(tag), 4096, path))
        return -1;
    std::vector<std::int16_t> chunk(2048);
    for (int b = 0; b < blocks; ++b) {
        for (int i = 0; i < 2048; ++i)
            chunk[static_cast<std::size_t>(i)] = static_cast<std::int16_t>((i * 37 + b * 11) % 20000 - 10000);
        if (!conv.Convert2Wave(chunk.data()))
            return -2;
    }
    return conv.Close();
}

} // namespace

class TestConverter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void inBufferSize_data();
    void inBufferSize();
    void messageLayoutMatchesSox_data();
    void messageLayoutMatchesSox();
    void lengthRule_data();
    void lengthRule();
    void noteAndOutputEvents();
    void setUpFailures();
    void writeFailures_data();
    void writeFailures();
    void isPossible_data();
    void isPossible();
    void cutWaveFile_data();
    void cutWaveFile();
    void cutWaveFileRefusals();
    void initPlayShowsSizes();

private:
    QTemporaryDir m_dir;
    std::vector<std::int16_t> m_speech;
};

void TestConverter::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString wav = m_dir.filePath(QStringLiteral("speech.wav"));
    const QString error = MakeSpeechWav(wav, QStringLiteral("Your call is being recorded. Thank you for waiting."));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_speech = ReadSamples(wav);
    QVERIFY(m_speech.size() > 8000);
}

void TestConverter::inBufferSize_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("message");
    QTest::newRow("mu-law 8000, 4096") << 7 << 8000 << 4096 << 4096 << 0 << QString();
    QTest::newRow("a-law 8000, 4096") << 6 << 8000 << 4096 << 4096 << 0 << QString();
    QTest::newRow("a-law 8000, odd 1001") << 6 << 8000 << 1001 << 1000 << 0 << QString();
    QTest::newRow("PCM 8000, 4096") << 1 << 8000 << 4096 << 4096 << 0 << QString();
    QTest::newRow("unknown tag 2") << 2 << 8000 << 4096 << 0 << int(ACMERR::NotPossible) << QString();
    QTest::newRow("rate 0") << 6 << 0 << 4096 << 0 << 0 << QStringLiteral("Error opening stream (22050-8000)");
}

void TestConverter::inBufferSize()
{
    QFETCH(int, tag);
    QFETCH(int, rate);
    QFETCH(int, bytes);
    QFETCH(int, block);
    QFETCH(int, error);
    QFETCH(QString, message);
    ScriptedMessageService messages;
    TConverter conv(nullptr, messages);
    tWAVEFORMATEX f = G711Format(static_cast<std::uint16_t>(tag), static_cast<std::uint32_t>(rate));
    if (tag == WaveTag::Pcm)
        f = PcmFormat(static_cast<std::uint32_t>(rate));
    MMRESULT code = 0;
    QCOMPARE(conv.InBufferSize(FormatOut(f), static_cast<std::uint32_t>(bytes), code),
             static_cast<std::uint32_t>(block));
    QCOMPARE(code, static_cast<MMRESULT>(error));
    QCOMPARE(messages.Texts(), message.isEmpty() ? QStringList() : QStringList{message});
}

void TestConverter::messageLayoutMatchesSox_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<QString>("encoding");
    QTest::newRow("a-law") << int(WaveTag::ALaw) << QStringLiteral("a-law");
    QTest::newRow("mu-law") << int(WaveTag::MuLaw) << QStringLiteral("u-law");
}

void TestConverter::messageLayoutMatchesSox()
{
    QFETCH(int, tag);
    QFETCH(QString, encoding);
    ScriptedMessageService messages;
    TConverter conv(nullptr, messages);
    const QString path = m_dir.filePath(QStringLiteral("layout.wav"));
    QVERIFY(conv.InitRecord(Target(static_cast<std::uint16_t>(tag)), 4096, path));
    QCOMPARE(conv.BlockSize(), 4096u);
    // Speech in whole blocks, the last one completed with silence.
    const std::size_t blocks = (m_speech.size() + 2047) / 2048;
    std::vector<std::int16_t> pcm(blocks * 2048, 0);
    std::copy(m_speech.begin(), m_speech.end(), pcm.begin());
    for (std::size_t b = 0; b < blocks; ++b)
        QVERIFY(conv.Convert2Wave(pcm.data() + b * 2048));
    const std::int32_t seconds = conv.Close();
    QCOMPARE(seconds, static_cast<std::int32_t>(static_cast<double>(blocks * 4096) / 16000.5));

    const QByteArray file = ReadTestFile(path);
    const std::uint32_t n = static_cast<std::uint32_t>(blocks * 2048);
    QCOMPARE(file.size(), static_cast<qsizetype>(58 + n));
    QCOMPARE(file.left(58), MessageHead(static_cast<std::uint16_t>(tag), n));
    const QByteArray sox = SoxEncode(Bytes(pcm.data(), pcm.size()), encoding);
    QCOMPARE(sox.size(), static_cast<qsizetype>(n));
    QVERIFY2(file.mid(58) == sox, "the audio bytes differ from sox's encoding");
}

void TestConverter::lengthRule_data()
{
    QTest::addColumn<int>("blocks");
    QTest::addColumn<int>("seconds");
    QTest::newRow("nothing") << 0 << 0;
    QTest::newRow("1 block") << 1 << 0;
    QTest::newRow("4 blocks = 1.024 s") << 4 << 1;
    QTest::newRow("117 blocks = 29.95 s") << 117 << 29;
    QTest::newRow("118 blocks = 30.21 s") << 118 << 30;
}

void TestConverter::lengthRule()
{
    QFETCH(int, blocks);
    QFETCH(int, seconds);
    ScriptedMessageService messages;
    TConverter conv(nullptr, messages);
    const QString path = m_dir.filePath(QStringLiteral("length.wav"));
    QCOMPARE(WriteBlocks(conv, path, WaveTag::ALaw, blocks), seconds);
    QCOMPARE(conv.ConsumedTotal(), static_cast<std::uint32_t>(blocks * 4096));
    const QByteArray file = ReadTestFile(path);
    QCOMPARE(file.size(), 58 + blocks * 2048);
    QCOMPARE(U32(file, 54), static_cast<std::uint32_t>(blocks * 2048));
    QCOMPARE(U32(file, 4), static_cast<std::uint32_t>(file.size() - 8));
    QVERIFY(messages.entries.isEmpty());
}

void TestConverter::noteAndOutputEvents()
{
    ScriptedMessageService messages;
    TConverter conv(nullptr, messages);
    conv.OnGetNote = [](TConverter*, QByteArray& note) { note = "Hi!!"; };
    int outputs = 0;
    conv.OnOutput = [&](TConverter* sender, bool& skip) {
        QCOMPARE(sender, &conv);
        skip = (outputs++ % 2) == 1; // every second block stays out
    };
    const QString path = m_dir.filePath(QStringLiteral("note.wav"));
    QCOMPARE(WriteBlocks(conv, path, WaveTag::MuLaw, 4), 1); // all four count for the length
    QCOMPARE(outputs, 4);
    const QByteArray file = ReadTestFile(path);
    // After "fact": LIST(adtl(note "Hi!!\0" + pad)).
    QCOMPARE(file.mid(50, 4), QByteArray("LIST"));
    QCOMPARE(U32(file, 54), 4u + 8u + 6u);
    QCOMPARE(file.mid(58, 8), QByteArray("adtlnote"));
    QCOMPARE(U32(file, 66), 5u);
    QCOMPARE(file.mid(70, 6), QByteArray("Hi!!\0\0", 6));
    QCOMPARE(file.mid(76, 4), QByteArray("data"));
    QCOMPARE(U32(file, 80), 2u * 2048u);
    QCOMPARE(file.size(), 84 + 2 * 2048);
}

void TestConverter::setUpFailures()
{
    ScriptedMessageService messages;
    TConverter conv(nullptr, messages);
    const QString missing = m_dir.filePath(QStringLiteral("no/such/folder/announce.wav"));
    QVERIFY(!conv.InitRecord(Target(WaveTag::ALaw), 4096, missing));
    QCOMPARE(messages.Texts(), QStringList{QStringLiteral("Error opening/creating WaveFile -> ") + missing});
    QVERIFY(!conv.IsWriting());
    QVERIFY(!conv.Convert2Wave(std::vector<char>(4096).data()));
    QCOMPARE(conv.Close(), 0);

    messages.Clear();
    tWAVEFORMATEX adpcm = G711Format(WaveTag::ALaw);
    adpcm.wFormatTag = 2;
    const QString path = m_dir.filePath(QStringLiteral("adpcm.wav"));
    QVERIFY(!conv.InitRecord(FormatOut(adpcm), 4096, path));
    QCOMPARE(messages.Texts(), QStringList{QStringLiteral("Error opening stream rResult = 512")});
    QVERIFY(!QFile::exists(path));

    messages.Clear();
    QVERIFY(!conv.InitRecord(Target(WaveTag::ALaw), 0, path));
    QCOMPARE(messages.Texts(), QStringList{QStringLiteral("Error Prepare Header rResult = 11")});
    QVERIFY(!QFile::exists(path));
}

void TestConverter::writeFailures_data()
{
    // Blocks of 2048 bytes go to the file through a 16 KiB buffer, so the disk sees them
    // about eight at a time and at the end; the cap makes the first of those writes fail.
    QTest::addColumn<int>("blocks");      // blocks handed in
    QTest::addColumn<bool>("failsEarly"); // a Convert2Wave fails (by the ninth block); else Close
    QTest::newRow("while recording") << 12 << true;
    QTest::newRow("when finishing") << 5 << false;
}

void TestConverter::writeFailures()
{
    QFETCH(int, blocks);
    QFETCH(bool, failsEarly);
    ScriptedMessageService messages;
    TConverter conv(nullptr, messages);
    const QString path = m_dir.filePath(QStringLiteral("capped.wav"));
    QVERIFY(conv.InitRecord(Target(WaveTag::ALaw), 4096, path));
    QVERIFY(!conv.WriteFailed());
    // The head, or most of it, is on disk; the file may not grow any further.
    const qint64 head = QFileInfo(path).size();
    QVERIFY(head > 0 && head <= 58);
    FileSizeLimit cap(static_cast<rlim_t>(head));
    QVERIFY(cap.IsSet());
    std::vector<std::int16_t> chunk(2048, 1000);
    int failed = 0;
    for (int b = 1; b <= blocks; ++b) {
        if (!conv.Convert2Wave(chunk.data()) && failed == 0)
            failed = b;
    }
    QCOMPARE(failed != 0, failsEarly);
    QVERIFY(failed <= 9);
    QCOMPARE(conv.WriteFailed(), failsEarly);
    // Nothing more is taken once a write failed.
    if (failsEarly)
        QVERIFY(!conv.Convert2Wave(chunk.data()));
    conv.Close();
    cap.Lift();
    QVERIFY(conv.WriteFailed());
    QVERIFY2(conv.WriteErrorText().contains(QStringLiteral("too large"), Qt::CaseInsensitive),
             qPrintable(conv.WriteErrorText()));
    QVERIFY(!conv.IsWriting());
    QVERIFY(messages.entries.isEmpty()); // the caller tells the user

    // The next file starts clean.
    QCOMPARE(WriteBlocks(conv, path, WaveTag::ALaw, 2), 0);
    QVERIFY(!conv.WriteFailed());
    QCOMPARE(QFileInfo(path).size(), qint64(58 + 2 * 2048));
}

void TestConverter::isPossible_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<int>("channels");
    QTest::addColumn<bool>("possible");
    QTest::newRow("a-law") << 6 << 1 << true;
    QTest::newRow("mu-law") << 7 << 1 << true;
    QTest::newRow("PCM") << 1 << 1 << true;
    QTest::newRow("tag 2") << 2 << 1 << false;
    QTest::newRow("a-law stereo") << 6 << 2 << false;
}

void TestConverter::isPossible()
{
    QFETCH(int, tag);
    QFETCH(int, channels);
    QFETCH(bool, possible);
    ScriptedMessageService messages;
    TConverter conv(nullptr, messages);
    tWAVEFORMATEX f = tag == 1 ? PcmFormat(8000) : G711Format(static_cast<std::uint16_t>(tag));
    f.nChannels = static_cast<std::uint16_t>(channels);
    RecomputeFormat(f);
    const QStringList before = QDir(m_dir.path()).entryList(QDir::Files);
    QCOMPARE(conv.IsPossible(FormatOut(f)), possible);
    // Only a question: nothing is opened, written or shown.
    QVERIFY(!conv.IsWriting());
    QCOMPARE(conv.Close(), 0);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), before);
    QVERIFY(messages.entries.isEmpty());
}

void TestConverter::cutWaveFile_data()
{
    QTest::addColumn<int>("blocks");
    QTest::addColumn<int>("cut");
    QTest::addColumn<int>("bytesPerSecond"); // 0: the file's own
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("kept");
    QTest::addColumn<int>("keptBytes");
    // 20 blocks = 40960 bytes of a-law, 5.12 s; whole units of 256 bytes are kept.
    QTest::newRow("cut 2 s") << 20 << 2 << 0 << 0 << 3 << 24832;
    QTest::newRow("cut nothing") << 20 << 0 << 0 << 0 << 5 << 40960;
    QTest::newRow("more than the file holds") << 20 << 10 << 0 << 0 << 0 << 0;
    QTest::newRow("sizes from OnByteInfo") << 20 << 2 << 4000 << 1000 << 8 << 32000;
    QTest::newRow("unit 3 doubled to 384") << 20 << 1 << 0 << 3 << 4 << 32640;
}

void TestConverter::cutWaveFile()
{
    QFETCH(int, blocks);
    QFETCH(int, cut);
    QFETCH(int, bytesPerSecond);
    QFETCH(int, unit);
    QFETCH(int, kept);
    QFETCH(int, keptBytes);
    ScriptedMessageService messages;
    TConverter conv(nullptr, messages);
    const QString path = m_dir.filePath(QStringLiteral("cut.wav"));
    QVERIFY(WriteBlocks(conv, path, WaveTag::ALaw, blocks) >= 0);
    const QByteArray before = ReadTestFile(path);
    if (bytesPerSecond > 0 || unit > 0) {
        conv.OnByteInfo = [&](TConverter*, std::int32_t& bps, std::int32_t& u) {
            QCOMPARE(bps, 8000);
            QCOMPARE(u, 1);
            if (bytesPerSecond > 0)
                bps = bytesPerSecond;
            if (unit > 0)
                u = unit;
        };
    }
    QCOMPARE(conv.CutWaveFile(path, cut), kept);
    const QByteArray after = ReadTestFile(path);
    QCOMPARE(after.size(), 58 + keptBytes);
    QCOMPARE(after.left(58), MessageHead(WaveTag::ALaw, static_cast<std::uint32_t>(keptBytes)));
    QVERIFY(after.mid(58) == before.mid(58, keptBytes));
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("cut.strip.wav"))));
}

void TestConverter::cutWaveFileRefusals()
{
    ScriptedMessageService messages;
    TConverter conv(nullptr, messages);
    // Shorter than 100 bytes (an empty message is 58): left alone.
    const QString empty = m_dir.filePath(QStringLiteral("empty.6"));
    QCOMPARE(WriteBlocks(conv, empty, WaveTag::ALaw, 0), 0);
    const QByteArray emptyBytes = ReadTestFile(empty);
    QCOMPARE(conv.CutWaveFile(empty, 1), 0);
    QCOMPARE(ReadTestFile(empty), emptyBytes);
    QCOMPARE(conv.CutWaveFile(m_dir.filePath(QStringLiteral("missing.wav")), 1), 0);
    // Not a wave file: left alone, no strip file.
    const QString text = m_dir.filePath(QStringLiteral("text.wav"));
    QVERIFY(WriteTestFile(text, QByteArray(300, 'x')));
    QCOMPARE(conv.CutWaveFile(text, 1), 0);
    QCOMPARE(ReadTestFile(text), QByteArray(300, 'x'));
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("text.strip.wav"))));
    QVERIFY(messages.entries.isEmpty());
}

void TestConverter::initPlayShowsSizes()
{
    ScriptedMessageService messages;
    TConverter conv(nullptr, messages);
    const QString path = m_dir.filePath(QStringLiteral("play.wav"));
    QVERIFY(WriteBlocks(conv, path, WaveTag::MuLaw, 3) >= 0);
    QVERIFY(conv.InitPlay(0, path));
    QCOMPARE(messages.Texts(), (QStringList{"dwOutBufferSize 2048", "niBufferSize 1024", "File Length 6144"}));
    messages.Clear();
    const QString missing = m_dir.filePath(QStringLiteral("nothing.wav"));
    QVERIFY(!conv.InitPlay(0, missing));
    QCOMPARE(messages.Texts(),
             QStringList{QStringLiteral("[TConverter::InitPlay]Error opening/creating WaveFile -> ") + missing});
}

QTEST_GUILESS_MAIN(TestConverter)
#include "TestConverter.moc"
