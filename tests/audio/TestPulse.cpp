// The Qt Multimedia back-end on a real PulseAudio server (the private one that
// scripts/pulse.sh starts). Skips with a message when no server is reachable.
#include "QtSound.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QtTest>

#include <cmath>

class TestPulse : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void outputPlaysAndReportsDone();
    void inputCapturesFromMonitor();
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
    QTRY_VERIFY_WITH_TIMEOUT((out->TakeDone(done) && (order << done, order.size() == 2)) || order.size() == 2, 5000);
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
    std::unique_ptr<IWaveIn> in;
    QCOMPARE(sound.WaveInOpen(in, -1, PcmFormat(8000), nullptr), MMSYSERR::NoError);
    QList<tWaveHdr*> data;
    bool opened = false, closed = false;
    QCOMPARE(sound.WaveInOpen(in, -1, PcmFormat(8000),
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

QTEST_GUILESS_MAIN(TestPulse)
#include "TestPulse.moc"
