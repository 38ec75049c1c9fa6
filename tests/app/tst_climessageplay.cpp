// pellaro-cli message play without a file: the current folder's message, through the
// player the message tab uses, on the virtual back-end sped up through the environment.
#include "AudioFixtures.h"

#include "TestFolders.h"

#include <QProcess>
#include <QtTest>

class TestCliMessagePlay : public QObject
{
    Q_OBJECT

private slots:
    void playsTheCurrentMessage_data();
    void playsTheCurrentMessage();
    void tooManyArguments();
};

namespace {

int RunCli(const QString& workFolder, const QStringList& args, QByteArray& out, QByteArray& err)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PELLARO_AUDIO"), QStringLiteral("virtual"));
    env.insert(QStringLiteral("PELLARO_AUDIO_SPEED"), QStringLiteral("10"));
    p.setProcessEnvironment(env);
    p.start(BinDir() + QStringLiteral("/pellaro-cli"), QStringList{QStringLiteral("--workfolder"), workFolder} + args);
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    out = p.readAllStandardOutput();
    err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
}

QByteArray Message(std::uint16_t tag, int samples)
{
    return Fixture::MessageFile(tag, Fixture::G711Tone(tag, samples));
}

} // namespace

void TestCliMessagePlay::playsTheCurrentMessage_data()
{
    QTest::addColumn<int>("shortSamples"); // 0: no "MESS340.6"
    QTest::addColumn<int>("longSamples");  // 0: no "MESS340.WAV"
    QTest::addColumn<QByteArray>("total");
    QTest::newRow("the short message, 2.5 s") << 20000 << 0 << QByteArray("3");
    QTest::newRow("the long message, 31 s at ten times") << 0 << 8000 * 31 << QByteArray("31");
    QTest::newRow("both: the long one, as a load reads them") << 20000 << 8000 * 31 << QByteArray("31");
}

void TestCliMessagePlay::playsTheCurrentMessage()
{
    QFETCH(int, shortSamples);
    QFETCH(int, longSamples);
    QFETCH(QByteArray, total);
    TempWorkFolder work;
    if (shortSamples)
        QVERIFY(WriteTestFile(work.current() + "MESS340.6", Message(WaveTag::MuLaw, shortSamples)));
    if (longSamples)
        QVERIFY(WriteTestFile(work.current() + "MESS340.WAV", Message(WaveTag::ALaw, longSamples)));
    QByteArray out, err;
    QCOMPARE(RunCli(work.path(), {QStringLiteral("message"), QStringLiteral("play")}, out, err), 0);
    QVERIFY2(err.isEmpty(), err.constData());
    const QList<QByteArray> lines = out.trimmed().split('\n');
    const QByteArray suffix = " / " + total;
    QCOMPARE(lines.first(), "0" + suffix);
    int last = -1;
    for (const QByteArray& l : lines) {
        QVERIFY2(l.endsWith(suffix), l.constData());
        const int position = l.split(' ').first().toInt();
        QVERIFY(position >= last);
        last = position;
    }
    if (longSamples)
        QVERIFY2(last >= 5, out.constData()); // played on for several seconds, not cut short
}

void TestCliMessagePlay::tooManyArguments()
{
    TempWorkFolder work;
    QByteArray out, err;
    QCOMPARE(RunCli(work.path(),
                    {QStringLiteral("message"), QStringLiteral("play"), QStringLiteral("a"), QStringLiteral("b")}, out,
                    err),
             2);
    QVERIFY2(err.contains("usage: pellaro-cli message play [FILE]"), err.constData());
}

QTEST_GUILESS_MAIN(TestCliMessagePlay)
#include "tst_climessageplay.moc"
