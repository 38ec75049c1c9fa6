// The sound-services layer: G.711 against sox, RIFF chunks, conversion streams and
// the virtual devices.
#include "AcmStream.h"
#include "G711.h"
#include "Riff.h"
#include "VirtualSound.h"

#include "TestFolders.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <vector>

namespace {

QByteArray RunSox(const QStringList& args, const QByteArray& input)
{
    QProcess p;
    p.start(QStringLiteral("sox"), args);
    if (!p.waitForStarted(5000))
        return {};
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(20000);
    return p.readAllStandardOutput();
}

std::vector<std::int16_t> Sine(double hz, std::uint32_t rate, int n, double level = 16000.0)
{
    std::vector<std::int16_t> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<size_t>(i)] = static_cast<std::int16_t>(level * std::sin(2 * M_PI * hz * i / rate));
    return v;
}

// Rising zero crossings per second: a frequency estimate that survives resampling.
double Frequency(const std::int16_t* s, size_t n, std::uint32_t rate)
{
    int crossings = 0;
    for (size_t i = 1; i < n; ++i)
        if (s[i - 1] < 0 && s[i] >= 0)
            ++crossings;
    return crossings * static_cast<double>(rate) / static_cast<double>(n);
}

} // namespace

class TestSoundServices : public QObject
{
    Q_OBJECT

private slots:
    void g711MatchesSox_data();
    void g711MatchesSox();
    void riffWritesMessageLayout();
    void riffReadsDamagedFiles_data();
    void riffReadsDamagedFiles();
    void acmG711Streams();
    void acmCopyAndRefusals();
    void acmResampleTo44100();
    void virtualOutputPlaysInOrder();
    void virtualOutputResetPauseAndGaps();
    void virtualDevicesAndFaults();
    void virtualInputCaptures();
    void virtualInputFromWav();
};

void TestSoundServices::g711MatchesSox_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<int>("tag");
    QTest::newRow("a-law") << QStringLiteral("a-law") << int(WaveTag::ALaw);
    QTest::newRow("mu-law") << QStringLiteral("u-law") << int(WaveTag::MuLaw);
}

void TestSoundServices::g711MatchesSox()
{
    QFETCH(QString, encoding);
    QFETCH(int, tag);
    if (QStandardPaths::findExecutable(QStringLiteral("sox")).isEmpty())
        QSKIP("sox is not installed (Debian package sox): no independent G.711 coder to compare with");
    const bool alaw = tag == WaveTag::ALaw;

    // Every 16-bit input, encoded by sox without dither.
    QByteArray all16(65536 * 2, '\0');
    for (int i = 0; i < 65536; ++i) {
        const std::int16_t v = static_cast<std::int16_t>(i - 32768);
        all16[2 * i] = static_cast<char>(v & 0xFF);
        all16[2 * i + 1] = static_cast<char>((v >> 8) & 0xFF);
    }
    const QStringList pcmIn{QStringLiteral("-D"), QStringLiteral("-V1"), QStringLiteral("-t"), QStringLiteral("raw"),
                            QStringLiteral("-r"), QStringLiteral("8000"), QStringLiteral("-e"), QStringLiteral("signed"),
                            QStringLiteral("-b"), QStringLiteral("16"), QStringLiteral("-c"), QStringLiteral("1"),
                            QStringLiteral("-")};
    const QByteArray soxCodes =
        RunSox(pcmIn + QStringList{QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-e"), encoding,
                                   QStringLiteral("-b"), QStringLiteral("8"), QStringLiteral("-")},
               all16);
    QCOMPARE(soxCodes.size(), 65536);
    int mismatches = 0;
    for (int i = 0; i < 65536; ++i) {
        const std::int16_t v = static_cast<std::int16_t>(i - 32768);
        const std::uint8_t ours = alaw ? G711::LinearToALaw(v) : G711::LinearToMuLaw(v);
        if (ours != static_cast<std::uint8_t>(soxCodes[i]) && mismatches++ < 5)
            qWarning("input %d: ours 0x%02X, sox 0x%02X", v, ours, static_cast<std::uint8_t>(soxCodes[i]));
    }
    QCOMPARE(mismatches, 0);

    // Every code, decoded by sox.
    QByteArray codes(256, '\0');
    for (int c = 0; c < 256; ++c)
        codes[c] = static_cast<char>(c);
    const QByteArray soxPcm = RunSox(
        {QStringLiteral("-D"), QStringLiteral("-V1"), QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-r"),
         QStringLiteral("8000"), QStringLiteral("-e"), encoding, QStringLiteral("-b"), QStringLiteral("8"),
         QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-"), QStringLiteral("-t"), QStringLiteral("raw"),
         QStringLiteral("-e"), QStringLiteral("signed"), QStringLiteral("-b"), QStringLiteral("16"),
         QStringLiteral("-")},
        codes);
    QCOMPARE(soxPcm.size(), 512);
    for (int c = 0; c < 256; ++c) {
        const std::int16_t theirs = static_cast<std::int16_t>(static_cast<std::uint8_t>(soxPcm[2 * c]) |
                                                              (static_cast<std::uint8_t>(soxPcm[2 * c + 1]) << 8));
        const std::int16_t ours = alaw ? G711::ALawToLinear(static_cast<std::uint8_t>(c))
                                       : G711::MuLawToLinear(static_cast<std::uint8_t>(c));
        QVERIFY2(ours == theirs, qPrintable(QStringLiteral("code %1: ours %2, sox %3").arg(c).arg(ours).arg(theirs)));
    }
}

void TestSoundServices::riffWritesMessageLayout()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m.wav"));
    TRiffFile w;
    QCOMPARE(w.Open(path, TRiffFile::Mode::Create), MMSYSERR::NoError);
    tRiffChunk riff;
    riff.fccType = TRiffFile::FourCC("WAVE");
    QCOMPARE(w.CreateChunk(riff, TRiffFile::Create::Riff), MMSYSERR::NoError);
    tRiffChunk fmt;
    fmt.ckid = TRiffFile::FourCC("fmt");
    QCOMPARE(w.CreateChunk(fmt, TRiffFile::Create::Chunk), MMSYSERR::NoError);
    const QByteArray f = WriteFormat(G711Format(WaveTag::ALaw));
    QCOMPARE(w.Write(f.constData(), f.size()), qint64(18));
    QCOMPARE(w.Ascend(fmt), MMSYSERR::NoError);
    tRiffChunk fact;
    fact.ckid = TRiffFile::FourCC("fact");
    w.CreateChunk(fact, TRiffFile::Create::Chunk);
    w.Write("\0\0\0\0", 4);
    w.Ascend(fact);
    tRiffChunk data;
    data.ckid = TRiffFile::FourCC("data");
    w.CreateChunk(data, TRiffFile::Create::Chunk);
    w.Write("abc", 3); // odd: a pad byte must follow
    QCOMPARE(w.Ascend(data), MMSYSERR::NoError);
    QCOMPARE(w.Ascend(riff), MMSYSERR::NoError);
    QCOMPARE(w.Close(), MMSYSERR::NoError);

    const QByteArray b = ReadTestFile(path);
    QCOMPARE(b.size(), 58 + 3 + 1);
    const QByteArray expectHead = QByteArray("RIFF") + QByteArray::fromHex("36000000") + "WAVEfmt " +
                                  QByteArray::fromHex("12000000") + f + "fact" +
                                  QByteArray::fromHex("0400000000000000") + "data" + QByteArray::fromHex("03000000");
    QCOMPARE(b.left(58).toHex(), expectHead.toHex());
    QCOMPARE(b.mid(58), QByteArray("abc\0", 4));

    // Read back: find the form, skip fmt and fact to reach data.
    TRiffFile r;
    QCOMPARE(r.Open(path, TRiffFile::Mode::Read), MMSYSERR::NoError);
    tRiffChunk rr;
    rr.fccType = TRiffFile::FourCC("WAVE");
    QCOMPARE(r.Descend(rr, nullptr, TRiffFile::Find::Riff), MMSYSERR::NoError);
    QCOMPARE(rr.cksize, 54u);
    QCOMPARE(rr.dwDataOffset, 8u);
    tRiffChunk rd;
    rd.ckid = TRiffFile::FourCC("data");
    QCOMPARE(r.Descend(rd, &rr, TRiffFile::Find::Chunk), MMSYSERR::NoError);
    QCOMPARE(rd.cksize, 3u);
    QCOMPARE(rd.dwDataOffset, 58u);
    char got[3];
    QCOMPARE(r.Read(got, 3), qint64(3));
    QCOMPARE(QByteArray(got, 3), QByteArray("abc"));
    tRiffChunk missing;
    missing.ckid = TRiffFile::FourCC("note");
    r.Seek(12);
    QCOMPARE(r.Descend(missing, &rr, TRiffFile::Find::Chunk), MMIOERR::ChunkNotFound);
}

void TestSoundServices::riffReadsDamagedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("riffFound");
    QTest::addColumn<bool>("dataFound");
    const QByteArray head = QByteArray("RIFF") + QByteArray::fromHex("20000000") + "WAVE";
    QTest::newRow("empty") << QByteArray() << false << false;
    QTest::newRow("7 bytes") << QByteArray("RIFF\x10\0\0", 7) << false << false;
    QTest::newRow("no form type") << QByteArray("RIFF\x10\0\0\0", 8) << false << false;
    QTest::newRow("not RIFF") << (QByteArray("RIFX") + head.mid(4)) << false << false;
    QTest::newRow("chunk size past the end")
        << (head + "fmt " + QByteArray::fromHex("ffffff7f") + QByteArray(10, 'x')) << true << false;
    QTest::newRow("header cut in the middle") << (head + "fmt " + QByteArray::fromHex("0400")) << true << false;
    QTest::newRow("data after a huge chunk")
        << (head + "junk" + QByteArray::fromHex("f0ffffff") + "data" + QByteArray::fromHex("00000000")) << true
        << false;
    QTest::newRow("data after an odd chunk")
        << (head + "junk" + QByteArray::fromHex("01000000") + "x" + QByteArray(1, '\0') + "data" +
            QByteArray::fromHex("02000000") + "ab")
        << true << true;
}

void TestSoundServices::riffReadsDamagedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, riffFound);
    QFETCH(bool, dataFound);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("d.wav"));
    QVERIFY(WriteTestFile(path, bytes));
    TRiffFile r;
    QCOMPARE(r.Open(path, TRiffFile::Mode::Read), MMSYSERR::NoError);
    tRiffChunk riff;
    riff.fccType = TRiffFile::FourCC("WAVE");
    QCOMPARE(r.Descend(riff, nullptr, TRiffFile::Find::Riff) == MMSYSERR::NoError, riffFound);
    if (!riffFound)
        return;
    tRiffChunk data;
    data.ckid = TRiffFile::FourCC("data");
    QCOMPARE(r.Descend(data, &riff, TRiffFile::Find::Chunk) == MMSYSERR::NoError, dataFound);
}

void TestSoundServices::acmG711Streams()
{
    for (std::uint16_t tag : {WaveTag::ALaw, WaveTag::MuLaw}) {
        std::unique_ptr<TAcmStream> dec, enc;
        QCOMPARE(TAcmStream::Open(dec, G711Format(tag), PcmFormat(8000), 0), MMSYSERR::NoError);
        QCOMPARE(TAcmStream::Open(enc, PcmFormat(8000), G711Format(tag), 0), MMSYSERR::NoError);
        std::uint32_t n = 0;
        QCOMPARE(dec->Size(8000, n, AcmSize::OutputForInput), MMSYSERR::NoError);
        QCOMPARE(n, 16000u);
        QCOMPARE(dec->Size(16000, n, AcmSize::InputForOutput), MMSYSERR::NoError);
        QCOMPARE(n, 8000u);
        QCOMPARE(enc->Size(4096, n, AcmSize::OutputForInput), MMSYSERR::NoError);
        QCOMPARE(n, 2048u);
        QCOMPARE(enc->Size(4097, n, AcmSize::OutputForInput), MMSYSERR::NoError);
        QCOMPARE(n, 2048u); // whole samples only
        QCOMPARE(enc->Size(1, n, AcmSize::OutputForInput), MMSYSERR::InvalParam);

        // Encode a sine and decode it again: equal to the codec applied sample by sample.
        const auto pcm = Sine(440, 8000, 800);
        std::vector<std::uint8_t> codes(800);
        tAcmStreamHeader h;
        h.pbSrc = reinterpret_cast<std::uint8_t*>(const_cast<std::int16_t*>(pcm.data()));
        h.cbSrcLength = 1600;
        h.pbDst = codes.data();
        h.cbDstLength = 800;
        QCOMPARE(enc->Convert(h, AcmConvert::Start), ACMERR::Unprepared);
        QCOMPARE(enc->PrepareHeader(h), MMSYSERR::NoError);
        QCOMPARE(enc->Convert(h, AcmConvert::Start | AcmConvert::BlockAlign), MMSYSERR::NoError);
        QCOMPARE(h.cbSrcLengthUsed, 1600u);
        QCOMPARE(h.cbDstLengthUsed, 800u);
        for (int i = 0; i < 800; ++i)
            QCOMPARE(codes[size_t(i)], tag == WaveTag::ALaw ? G711::LinearToALaw(pcm[size_t(i)])
                                                             : G711::LinearToMuLaw(pcm[size_t(i)]));
        std::vector<std::int16_t> back(800);
        tAcmStreamHeader d;
        d.pbSrc = codes.data();
        d.cbSrcLength = 800;
        d.pbDst = reinterpret_cast<std::uint8_t*>(back.data());
        d.cbDstLength = 1000; // room for 500 samples only: converts what fits
        dec->PrepareHeader(d);
        QCOMPARE(dec->Convert(d, AcmConvert::Start), MMSYSERR::NoError);
        QCOMPARE(d.cbSrcLengthUsed, 500u);
        QCOMPARE(d.cbDstLengthUsed, 1000u);
        QVERIFY(std::abs(back[100] - pcm[100]) < 600);
        QCOMPARE(dec->UnprepareHeader(d), MMSYSERR::NoError);
        QCOMPARE(dec->UnprepareHeader(d), ACMERR::Unprepared);
    }
}

void TestSoundServices::acmCopyAndRefusals()
{
    std::unique_ptr<TAcmStream> s;
    const tWAVEFORMATEX stereo = PcmFormat(22050, 2, 16);
    QCOMPARE(TAcmStream::Open(s, stereo, stereo, 0), MMSYSERR::NoError);
    std::uint32_t n = 0;
    QCOMPARE(s->Size(1001, n, AcmSize::OutputForInput), MMSYSERR::NoError);
    QCOMPARE(n, 1000u);
    QByteArray in("0123456789abcdef"), out(16, '\0');
    tAcmStreamHeader h;
    h.pbSrc = reinterpret_cast<std::uint8_t*>(in.data());
    h.cbSrcLength = 14; // 3.5 frames: whole frames only
    h.pbDst = reinterpret_cast<std::uint8_t*>(out.data());
    h.cbDstLength = 16;
    s->PrepareHeader(h);
    QCOMPARE(s->Convert(h, AcmConvert::BlockAlign), MMSYSERR::NoError);
    QCOMPARE(h.cbDstLengthUsed, 12u);
    QCOMPARE(out.left(12), in.left(12));

    std::unique_ptr<TAcmStream> none;
    // The query of the encoder's set-up: 22050 Hz PCM to 8 kHz G.711.
    QCOMPARE(TAcmStream::Open(none, PcmFormat(22050), G711Format(WaveTag::ALaw), AcmOpen::Query), MMSYSERR::NoError);
    QVERIFY(!none);
    tWAVEFORMATEX gsm = G711Format(WaveTag::ALaw);
    gsm.wFormatTag = 0x31;
    QCOMPARE(TAcmStream::Open(none, gsm, PcmFormat(8000), 0), ACMERR::NotPossible);
    QCOMPARE(TAcmStream::Open(none, G711Format(WaveTag::ALaw), G711Format(WaveTag::MuLaw), 0), ACMERR::NotPossible);
    tWAVEFORMATEX broken = G711Format(WaveTag::ALaw);
    broken.nAvgBytesPerSec = 0;
    QCOMPARE(TAcmStream::Open(none, broken, PcmFormat(8000), 0), ACMERR::NotPossible);
    broken = G711Format(WaveTag::ALaw);
    broken.nChannels = 0;
    QCOMPARE(TAcmStream::Open(none, broken, PcmFormat(8000), 0), ACMERR::NotPossible);
    QVERIFY(!none);
}

void TestSoundServices::acmResampleTo44100()
{
    std::unique_ptr<TAcmStream> s;
    QCOMPARE(TAcmStream::Open(s, PcmFormat(8000), PcmFormat(44100), 0), MMSYSERR::NoError);
    std::uint32_t out = 0, in = 0;
    QCOMPARE(s->Size(16000, out, AcmSize::OutputForInput), MMSYSERR::NoError);
    QCOMPARE(out, 88200u);
    QCOMPARE(s->Size(out, in, AcmSize::InputForOutput), MMSYSERR::NoError);
    QCOMPARE(in, 16000u);

    // Three one-second blocks of a 1 kHz tone: every block yields exactly one second
    // at 44100 Hz, and the tone stays at 1 kHz.
    const auto pcm = Sine(1000, 8000, 24000);
    std::vector<std::int16_t> res(44100);
    std::vector<std::int16_t> all;
    tAcmStreamHeader h;
    h.pbDst = reinterpret_cast<std::uint8_t*>(res.data());
    h.cbDstLength = 88200;
    h.pbSrc = reinterpret_cast<std::uint8_t*>(const_cast<std::int16_t*>(pcm.data()));
    h.cbSrcLength = 16000;
    QCOMPARE(s->PrepareHeader(h), MMSYSERR::NoError);
    for (int block = 0; block < 3; ++block) {
        h.pbSrc = reinterpret_cast<std::uint8_t*>(const_cast<std::int16_t*>(pcm.data() + block * 8000));
        QCOMPARE(s->Convert(h, block == 0 ? AcmConvert::Start : AcmConvert::BlockAlign), MMSYSERR::NoError);
        QCOMPARE(h.cbSrcLengthUsed, 16000u);
        QCOMPARE(h.cbDstLengthUsed, 88200u);
        all.insert(all.end(), res.begin(), res.end());
    }
    // Past the resampler's lead-in (the filter delay and 50 ms of headroom) and before
    // the tail it holds back: a steady 1 kHz.
    const double hz = Frequency(all.data() + 4410, all.size() - 2 * 4410, 44100);
    QVERIFY2(std::abs(hz - 1000) < 5, qPrintable(QString::number(hz)));
    // Continuous across block edges: no sample jumps further than the tone's own slope allows.
    int maxStep = 0;
    for (size_t i = 4410; i < all.size() - 4410; ++i)
        maxStep = std::max(maxStep, std::abs(all[i] - all[i - 1]));
    QVERIFY2(maxStep < 16000 * 2 * M_PI * 1000 / 44100 * 1.2, qPrintable(QString::number(maxStep)));
}

void TestSoundServices::virtualOutputPlaysInOrder()
{
    auto clock = std::make_shared<ManualAudioClock>();
    VirtualSoundConfig cfg;
    cfg.clock = clock;
    VirtualSoundSystem sound(cfg);
    std::unique_ptr<IWaveOut> out;
    QCOMPARE(sound.WaveOutOpen(out, WAVE_MAPPER, PcmFormat(8000)), MMSYSERR::NoError);
    QCOMPARE(out->Pause(), MMSYSERR::NoError);

    QByteArray a(1600, 'a'), b(1600, 'b'); // 100 ms each
    tWaveHdr ha{a.data(), 1600}, hb{b.data(), 1600};
    QCOMPARE(out->Write(ha), WAVERR::Unprepared);
    out->PrepareHeader(ha);
    out->PrepareHeader(hb);
    QCOMPARE(out->Write(ha), MMSYSERR::NoError);
    QCOMPARE(out->Write(hb), MMSYSERR::NoError);
    QCOMPARE(out->UnprepareHeader(ha), WAVERR::StillPlaying);
    clock->AdvanceMs(500); // paused: nothing plays
    std::uint32_t pos = 99;
    out->GetPosition(PositionUnit::Bytes, pos);
    QCOMPARE(pos, 0u);

    out->Restart();
    clock->AdvanceMs(150);
    out->GetPosition(PositionUnit::Bytes, pos);
    QCOMPARE(pos, 2400u);
    out->GetPosition(PositionUnit::Samples, pos);
    QCOMPARE(pos, 1200u);
    tWaveHdr* done = nullptr;
    QVERIFY(out->TakeDone(done));
    QCOMPARE(done, &ha);
    QVERIFY(ha.dwFlags & WHDR::Done);
    QVERIFY(!out->TakeDone(done)); // each notice once
    clock->AdvanceMs(100);
    QVERIFY(out->TakeDone(done));
    QCOMPARE(done, &hb);
    QVERIFY(!out->TakeDone(done));
    QCOMPARE(out->Close(), MMSYSERR::NoError);
    QCOMPARE(out->Close(), MMSYSERR::InvalHandle);

    const auto log = sound.Playbacks();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log[0].played, a + b);
    QCOMPARE(log[0].gaps, 0);
    QVERIFY(log[0].closed);
}

void TestSoundServices::virtualOutputResetPauseAndGaps()
{
    auto clock = std::make_shared<ManualAudioClock>();
    VirtualSoundConfig cfg;
    cfg.clock = clock;
    VirtualSoundSystem sound(cfg);
    std::unique_ptr<IWaveOut> out;
    QCOMPARE(sound.WaveOutOpen(out, 0, PcmFormat(8000)), MMSYSERR::NoError);
    QByteArray a(1600, 'a'), b(1600, 'b'), c(1600, 'c');
    tWaveHdr ha{a.data(), 1600}, hb{b.data(), 1600}, hc{c.data(), 1600};
    for (tWaveHdr* h : {&ha, &hb, &hc})
        out->PrepareHeader(*h);
    out->Write(ha);
    clock->AdvanceMs(150); // a plays, then 50 ms dry
    out->Write(hb);        // a gap of 50 ms is heard before b
    clock->AdvanceMs(50);
    out->Pause();
    clock->AdvanceMs(1000);
    out->Write(hc);
    QCOMPARE(out->Close(), WAVERR::StillPlaying);
    QCOMPARE(out->Reset(), MMSYSERR::NoError); // both queued buffers come back at once
    tWaveHdr* done = nullptr;
    QList<tWaveHdr*> order;
    while (out->TakeDone(done))
        order << done;
    QCOMPARE(order, (QList<tWaveHdr*>{&ha, &hb, &hc}));
    std::uint32_t pos = 1;
    out->GetPosition(PositionUnit::Bytes, pos);
    QCOMPARE(pos, 0u);
    QCOMPARE(out->Close(), MMSYSERR::NoError);
    const auto log = sound.Playbacks();
    QCOMPARE(log[0].gaps, 1);
    QCOMPARE(log[0].gapNs, 50000000);
    QCOMPARE(log[0].played, a + QByteArray(800, 'b'));
}

void TestSoundServices::virtualDevicesAndFaults()
{
    VirtualSoundConfig cfg;
    cfg.outputs = QStringList{QStringLiteral("Speakers"), QStringLiteral("A very long product name beyond 31 chars")};
    cfg.inputs = QStringList{QStringLiteral("Line In")};
    cfg.fault = [](const char* op, int device) {
        return (qstrcmp(op, "Pause") == 0 && device == 1) ? MMSYSERR::NoMem : MMSYSERR::NoError;
    };
    VirtualSoundSystem sound(cfg);
    QCOMPARE(sound.WaveOutNumDevs(), 2u);
    QCOMPARE(sound.WaveInNumDevs(), 1u);
    QString name;
    QCOMPARE(sound.WaveOutGetDevCaps(-1, name), MMSYSERR::NoError);
    QCOMPARE(name, QStringLiteral("Speakers"));
    QCOMPARE(sound.WaveOutGetDevCaps(1, name), MMSYSERR::NoError);
    QCOMPARE(name.size(), 31);
    QCOMPARE(sound.WaveOutGetDevCaps(2, name), MMSYSERR::BadDeviceId);
    QCOMPARE(sound.WaveInGetDevCaps(0, name), MMSYSERR::NoError);
    QCOMPARE(name, QStringLiteral("Line In"));

    std::unique_ptr<IWaveOut> out;
    QCOMPARE(sound.WaveOutOpen(out, 3, PcmFormat(8000)), MMSYSERR::BadDeviceId);
    QCOMPARE(sound.WaveOutOpen(out, 0, G711Format(WaveTag::ALaw)), WAVERR::BadFormat);
    tWAVEFORMATEX bad = PcmFormat(8000);
    bad.nBlockAlign = 0;
    QCOMPARE(sound.WaveOutOpen(out, 0, bad), WAVERR::BadFormat);
    QVERIFY(!out);
    QCOMPARE(sound.WaveOutOpen(out, 1, PcmFormat(44100, 2)), MMSYSERR::NoError);
    QCOMPARE(out->Pause(), MMSYSERR::NoMem);
    std::unique_ptr<IWaveIn> in;
    QCOMPARE(sound.WaveInOpen(in, 0, PcmFormat(8000), nullptr), MMSYSERR::NoError); // query
    QVERIFY(!in);
    QCOMPARE(sound.WaveInOpen(in, 1, PcmFormat(8000), nullptr), MMSYSERR::BadDeviceId);

    VirtualSoundConfig none;
    none.outputs.clear();
    VirtualSoundSystem silent(none);
    QCOMPARE(silent.WaveOutNumDevs(), 0u);
    QCOMPARE(silent.WaveOutOpen(out, -1, PcmFormat(8000)), MMSYSERR::NoDriver);
    QCOMPARE(silent.WaveOutOpen(out, 0, PcmFormat(8000)), MMSYSERR::BadDeviceId);

    QString text;
    QCOMPARE(WaveGetErrorText(MMSYSERR::BadDeviceId, text), MMSYSERR::NoError);
    QVERIFY(!text.isEmpty());
    QString other;
    WaveGetErrorText(MMSYSERR::Allocated, other);
    QVERIFY(other != text);
    QCOMPARE(WaveGetErrorText(4711, text), MMSYSERR::BadErrNum);
}

void TestSoundServices::virtualInputCaptures()
{
    auto clock = std::make_shared<ManualAudioClock>();
    VirtualSoundConfig cfg;
    cfg.clock = clock;
    cfg.generator = [](std::uint64_t frame, std::uint32_t) { return static_cast<std::int16_t>(frame); };
    VirtualSoundSystem sound(cfg);
    QList<QPair<WaveInMsg, tWaveHdr*>> notices;
    std::unique_ptr<IWaveIn> in;
    QCOMPARE(sound.WaveInOpen(in, -1, PcmFormat(8000),
                              [&](WaveInMsg m, tWaveHdr* h) { notices.append({m, h}); }),
             MMSYSERR::NoError);
    QVERIFY(notices.isEmpty()); // delivered through the event loop, not from inside the call
    QByteArray b1(200, '\0'), b2(200, '\0'), b3(200, '\0');
    tWaveHdr h1{b1.data(), 200}, h2{b2.data(), 200}, h3{b3.data(), 200};
    for (tWaveHdr* h : {&h1, &h2, &h3}) {
        QCOMPARE(in->PrepareHeader(*h), MMSYSERR::NoError);
        QCOMPARE(in->AddBuffer(*h), MMSYSERR::NoError);
    }
    QCOMPARE(in->Start(), MMSYSERR::NoError);
    clock->AdvanceMs(30); // 240 samples: the first buffer (100 samples) and the second are full
    QTRY_COMPARE(notices.size(), 3);
    QCOMPARE(notices[0].first, WaveInMsg::Open);
    QCOMPARE(notices[1].second, &h1);
    QCOMPARE(notices[2].second, &h2);
    QCOMPARE(h1.dwBytesRecorded, 200u);
    QVERIFY(h1.dwFlags & WHDR::Done);
    const auto* s2 = reinterpret_cast<const std::int16_t*>(b2.constData());
    QCOMPARE(int(s2[0]), 100);
    QCOMPARE(int(s2[99]), 199);
    std::uint32_t pos = 0;
    in->GetPosition(PositionUnit::Samples, pos);
    QCOMPARE(pos, 240u);
    QCOMPARE(in->Stop(), MMSYSERR::NoError); // the partly filled buffer comes back
    QTRY_COMPARE(notices.size(), 4);
    QCOMPARE(notices[3].second, &h3);
    QCOMPARE(h3.dwBytesRecorded, 80u);
    QCOMPARE(in->Close(), MMSYSERR::NoError);
    QTRY_COMPARE(notices.size(), 5);
    QCOMPARE(notices[4].first, WaveInMsg::Close);
}

void TestSoundServices::virtualInputFromWav()
{
    // A 16 kHz stereo file captured at 8 kHz mono: a 500 Hz tone stays 500 Hz.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("speech.wav"));
    {
        TRiffFile w;
        QCOMPARE(w.Open(path, TRiffFile::Mode::Create), MMSYSERR::NoError);
        tRiffChunk riff, fmt, data;
        riff.fccType = TRiffFile::FourCC("WAVE");
        w.CreateChunk(riff, TRiffFile::Create::Riff);
        fmt.ckid = TRiffFile::FourCC("fmt");
        w.CreateChunk(fmt, TRiffFile::Create::Chunk);
        const QByteArray f = WriteFormat(PcmFormat(16000, 2, 16)).left(16);
        w.Write(f.constData(), 16);
        w.Ascend(fmt);
        data.ckid = TRiffFile::FourCC("data");
        w.CreateChunk(data, TRiffFile::Create::Chunk);
        const auto mono = Sine(500, 16000, 16000);
        std::vector<std::int16_t> st;
        for (auto s : mono) {
            st.push_back(s);
            st.push_back(s);
        }
        w.Write(st.data(), qint64(st.size() * 2));
        w.Ascend(data);
        w.Ascend(riff);
    }
    auto clock = std::make_shared<ManualAudioClock>();
    VirtualSoundConfig cfg;
    cfg.clock = clock;
    cfg.inputWav = path;
    VirtualSoundSystem sound(cfg);
    int filled = 0;
    std::unique_ptr<IWaveIn> in;
    QCOMPARE(sound.WaveInOpen(in, 0, PcmFormat(8000),
                              [&](WaveInMsg m, tWaveHdr*) { filled += m == WaveInMsg::Data; }),
             MMSYSERR::NoError);
    QByteArray buf(16000 * 2, '\0'); // two seconds: the second holds the silence after the file
    tWaveHdr h{buf.data(), std::uint32_t(buf.size())};
    in->PrepareHeader(h);
    in->AddBuffer(h);
    in->Start();
    clock->AdvanceMs(2000);
    QTRY_COMPARE(filled, 1);
    const auto* s = reinterpret_cast<const std::int16_t*>(buf.constData());
    const double hz = Frequency(s + 400, 7000, 8000);
    QVERIFY2(std::abs(hz - 500) < 5, qPrintable(QString::number(hz)));
    int loud = 0;
    for (int i = 8400; i < 16000; ++i)
        loud = std::max(loud, std::abs(int(s[i])));
    QCOMPARE(loud, 0);
    in->Reset();
    in->Close();
}

QTEST_GUILESS_MAIN(TestSoundServices)
#include "TestSoundServices.moc"
