// The Qt Multimedia back-end on a real PulseAudio server (the private one that
// scripts/pulse.sh starts). Skips with a message when no server is reachable.
#include "ACMWaveOut.h"
#include "AudioFixtures.h"
#include "QtSound.h"

#include "ScriptedMessageService.h"
#include "TestFolders.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

class TestPulse : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void outputPlaysAndReportsDone();
    void inputCapturesFromMonitor();
    void playerPlaysMessageToTheEnd();
};

void TestPulse::initTestCase()
{
    if (QMediaDevices::audioOutputs().isEmpty())
        QSKIP("no PulseAudio server reachable: start one with eval \"$(scripts/pulse.sh start DIR)\" "
              "or run scripts/test.sh");
}

void TestPulse::outputPlaysAndReportsDone()
{
    QtSoundSystem sound;
    QVERIFY(sound.WaveOutNumDevs() >= 1);
    QString name;
    QCOMPARE(sound.WaveOutGetDevCaps(-1, name), MMSYSERR::NoError);
    QVERIFY(!name.isEmpty());
    std::unique_ptr<IWaveOut> out;
    QCOMPARE(sound.WaveOutOpen(out, -1, PcmFormat(8000)), MMSYSERR::NoError);
    QCOMPARE(out->Pause(), MMSYSERR::NoError);
    QByteArray a(8000, '\0'), b(8000, '\0'); // 0.5 s each
    tWaveHdr ha{a.data(), 8000}, hb{b.data(), 8000};
    out->PrepareHeader(ha);
    out->PrepareHeader(hb);
    QCOMPARE(out->Write(ha), MMSYSERR::NoError);
    QCOMPARE(out->Write(hb), MMSYSERR::NoError);
    QTest::qWait(300);
    tWaveHdr* done = nullptr;
    QVERIFY(!out->TakeDone(done)); // paused before the start: nothing taken
    QElapsedTimer t;
    t.start();
    QCOMPARE(out->Restart(), MMSYSERR::NoError);
    QList<tWaveHdr*> order;
    QTRY_VERIFY_WITH_TIMEOUT([&] {
        while (out->TakeDone(done))
            order << done;
        return order.size() == 2;
    }(), 5000);
    QCOMPARE(order, (QList<tWaveHdr*>{&ha, &hb}));
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 std::uint32_t pos = 0;
                                 out->GetPosition(PositionUnit::Bytes, pos);
                                 return pos >= 15200;
                             }()),
                             5000);
    QVERIFY2(t.elapsed() < 1500 * 1.5, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(out->Reset(), MMSYSERR::NoError);
    QCOMPARE(out->Close(), MMSYSERR::NoError);
}

void TestPulse::inputCapturesFromMonitor()
{
    QtSoundSystem sound;
    if (sound.WaveInNumDevs() == 0)
        QSKIP("the PulseAudio server offers no input device");
    // The monitor of the sink always delivers (silence at least); a pipe source only when fed.
    int device = -1;
    for (int i = 0; i < int(sound.WaveInNumDevs()); ++i) {
        QString name;
        if (sound.WaveInGetDevCaps(i, name) == MMSYSERR::NoError && name == QLatin1String("MonitorMic"))
            device = i;
    }
    std::unique_ptr<IWaveIn> in;
    QCOMPARE(sound.WaveInOpen(in, device, PcmFormat(8000), nullptr), MMSYSERR::NoError);
    QList<tWaveHdr*> data;
    bool opened = false, closed = false;
    QCOMPARE(sound.WaveInOpen(in, device, PcmFormat(8000),
                              [&](WaveInMsg m, tWaveHdr* h) {
                                  if (m == WaveInMsg::Data)
                                      data << h;
                                  opened |= m == WaveInMsg::Open;
                                  closed |= m == WaveInMsg::Close;
                              }),
             MMSYSERR::NoError);
    QByteArray b1(3200, '\x55'), b2(3200, '\x55');
    tWaveHdr h1{b1.data(), 3200}, h2{b2.data(), 3200};
    in->PrepareHeader(h1);
    in->AddBuffer(h1);
    in->PrepareHeader(h2);
    in->AddBuffer(h2);
    QCOMPARE(in->Start(), MMSYSERR::NoError);
    QTRY_COMPARE_WITH_TIMEOUT(data.size(), 2, 5000);
    QVERIFY(opened);
    QCOMPARE(data[0], &h1);
    QCOMPARE(h2.dwBytesRecorded, 3200u);
    in->Reset();
    in->Close();
    QTRY_VERIFY(closed);
}

void TestPulse::playerPlaysMessageToTheEnd()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("MESS340.WAV"));
    QVERIFY(WriteTestFile(path, Fixture::MessageFile(WaveTag::ALaw, Fixture::G711Tone(WaveTag::ALaw, 20000))));
    QtSoundSystem sound;
    ScriptedMessageService messages;
    TACMWaveOut player(nullptr, sound, messages);
    int ends = 0;
    player.OnEnd = [&](QObject*) { ++ends; };
    QElapsedTimer t;
    t.start();
    QVERIFY2(player.Open(path, -1), qPrintable(messages.Texts().join(QLatin1Char('|'))));
    QCOMPARE(player.GetTimeTotal(), 2500u);
    QVERIFY(player.Play());
    std::uint32_t maxPos = 0;
    QList<std::uint32_t> seen;
    while (ends == 0 && t.elapsed() < 10000) {
        const std::uint32_t pos = player.GetTimePosition();
        if (seen.isEmpty() || seen.last() != pos)
            seen << pos;
        maxPos = std::max(maxPos, pos);
        QTest::qWait(20);
    }
    QCOMPARE(ends, 1);
    QVERIFY2(maxPos >= 2, qPrintable(QString::number(maxPos)));
    QVERIFY(seen.contains(1u)); // the position advanced second by second
    // Real time: the end comes once the three one-second blocks have been heard.
    QVERIFY2(t.elapsed() >= 2850 && t.elapsed() <= 3000 * 3 / 2, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(player.GetState(), TACMWaveOut::Closed);
    QVERIFY(messages.entries.isEmpty());
}

QTEST_GUILESS_MAIN(TestPulse)
#include "TestPulse.moc"
