// pellaro-cli message play on the virtual back-end (clock sped up through the environment).
#include "AudioFixtures.h"

#include "TestFolders.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestCliMessage : public QObject
{
    Q_OBJECT

private slots:
    void playsToTheEnd();
    void failures_data();
    void failures();

private:
    int Run(const QStringList& args, QByteArray& out, QByteArray& err, const QString& speed = QStringLiteral("10"));
    QTemporaryDir m_dir;
};

int TestCliMessage::Run(const QStringList& args, QByteArray& out, QByteArray& err, const QString& speed)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PELLARO_AUDIO"), QStringLiteral("virtual"));
    env.insert(QStringLiteral("PELLARO_AUDIO_SPEED"), speed);
    p.setProcessEnvironment(env);
    p.start(BinDir() + QStringLiteral("/pellaro-cli"),
            QStringList{QStringLiteral("--workfolder"), m_dir.filePath(QStringLiteral("work"))} + args);
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    out = p.readAllStandardOutput();
    err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
}

void TestCliMessage::playsToTheEnd()
{
    // 20 s at ten times real time: about two seconds, one line a second.
    const QString path = m_dir.filePath(QStringLiteral("MESS340.WAV"));
    QVERIFY(WriteTestFile(path, Fixture::MessageFile(WaveTag::ALaw, Fixture::G711Tone(WaveTag::ALaw, 8000 * 20))));
    QByteArray out, err;
    QCOMPARE(Run({QStringLiteral("message"), QStringLiteral("play"), path}, out, err), 0);
    const QList<QByteArray> lines = out.trimmed().split('\n');
    QVERIFY2(lines.size() >= 2, out.constData());
    QCOMPARE(lines.first(), QByteArray("0 / 20"));
    int last = -1;
    for (const QByteArray& l : lines) {
        const QList<QByteArray> parts = l.split(' ');
        QCOMPARE(parts.size(), 3);
        QCOMPARE(parts[1], QByteArray("/"));
        QCOMPARE(parts[2], QByteArray("20"));
        const int pos = parts[0].toInt();
        QVERIFY(pos >= last && pos <= 20);
        last = pos;
    }
    QVERIFY(last >= 5);
    QVERIFY(err.isEmpty());

    // 2.5 s: the total rounds to 3.
    const QString shortPath = m_dir.filePath(QStringLiteral("short.wav"));
    QVERIFY(WriteTestFile(shortPath, Fixture::MessageFile(WaveTag::MuLaw, Fixture::G711Tone(WaveTag::MuLaw, 20000))));
    QCOMPARE(Run({QStringLiteral("message"), QStringLiteral("play"), shortPath}, out, err), 0);
    QCOMPARE(out.split('\n').first(), QByteArray("0 / 3"));
}

void TestCliMessage::failures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stderrHas");
    QTest::newRow("damaged") << QStringList{QStringLiteral("message"), QStringLiteral("play"), QStringLiteral("@")}
                             << QByteArray("RIFF\x04\0\0\0WAVE", 12) << 1 << QStringLiteral("has no format chunk.");
    QTest::newRow("not a wave file")
        << QStringList{QStringLiteral("message"), QStringLiteral("play"), QStringLiteral("@")}
        << QByteArray("hello, this is text") << 1 << QStringLiteral("Error 265");
    QTest::newRow("missing") << QStringList{QStringLiteral("message"), QStringLiteral("play"),
                                            QStringLiteral("/nonexistent/x.wav")}
                             << QByteArray() << 1 << QStringLiteral("does not exist");
    QTest::newRow("no file, no message") << QStringList{QStringLiteral("message"), QStringLiteral("play")}
                                         << QByteArray() << 1 << QStringLiteral("There is no notification message");
    QTest::newRow("unknown subcommand") << QStringList{QStringLiteral("message"), QStringLiteral("sing")}
                                        << QByteArray() << 2 << QStringLiteral("unknown subcommand sing");
}

void TestCliMessage::failures()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, file);
    QFETCH(int, exitCode);
    QFETCH(QString, stderrHas);
    const QString path = m_dir.filePath(QStringLiteral("bad.wav"));
    WriteTestFile(path, file);
    args.replaceInStrings(QStringLiteral("@"), path);
    QByteArray out, err;
    QCOMPARE(Run(args, out, err), exitCode);
    QVERIFY2(QString::fromLocal8Bit(err).contains(stderrHas), err.constData());
    QVERIFY(out.isEmpty());
}

QTEST_GUILESS_MAIN(TestCliMessage)
#include "TestCliMessage.moc"
