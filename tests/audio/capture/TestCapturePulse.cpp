// Capture on a real PulseAudio server (the private one of scripts/pulse.sh): known
// speech is fed into its pipe source and must come back in the message file exactly
// as sox encodes it. Skips with a message when no such server is running.
#include "ACMRecord.h"
#include "QtSound.h"

#include "CaptureFixtures.h"
#include "ScriptedMessageService.h"
#include "TestFolders.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

using namespace CaptureFixture;

namespace {

// Writes data into the FIFO without ever blocking for long; gives up at the deadline.
class FifoFeeder
{
public:
    FifoFeeder(const QString& fifo, QByteArray data) : m_data(std::move(data))
    {
        m_fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (m_fd >= 0)
            m_thread = std::thread([this] { Run(); });
        else
            m_error = QStringLiteral("cannot open the pipe source's FIFO %1: %2").arg(fifo, qt_error_string(errno));
    }
    ~FifoFeeder()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    QString Error() const { return m_error; }
    qint64 Written() const { return m_written.load(); }

private:
    void Run()
    {
        QElapsedTimer t;
        t.start();
        while (!m_stop && m_written < m_data.size() && t.elapsed() < 20000) {
            const ssize_t n =
                ::write(m_fd, m_data.constData() + m_written, static_cast<size_t>(m_data.size() - m_written));
            if (n > 0)
                m_written += n;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    QByteArray m_data;
    int m_fd = -1;
    QString m_error;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_written{0};
};

} // namespace

class TestCapturePulse : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void capturesFedSpeechBitExact();

private:
    QString m_fifo;
    int m_device = -2;
};

void TestCapturePulse::initTestCase()
{
    m_fifo = qEnvironmentVariable("PELLARO_PULSE_FIFO");
    if (qEnvironmentVariableIsEmpty("PULSE_RUNTIME_PATH") || m_fifo.isEmpty())
        QSKIP("no private PulseAudio server: run scripts/test.sh, or start one with "
              "eval \"$(scripts/pulse.sh start DIR)\" (sets PULSE_RUNTIME_PATH and PELLARO_PULSE_FIFO)");
    if (QMediaDevices::audioInputs().isEmpty())
        QSKIP("the PulseAudio server named by PULSE_RUNTIME_PATH offers no input device (not running?)");
    QtSoundSystem sound;
    for (std::uint32_t i = 0; i < sound.WaveInNumDevs(); ++i) {
        QString name;
        if (sound.WaveInGetDevCaps(static_cast<int>(i), name) == MMSYSERR::NoError &&
            name == QLatin1String("PipeSource"))
            m_device = static_cast<int>(i);
    }
    if (m_device < 0)
        QSKIP("the PulseAudio server has no \"PipeSource\" input (not the one of scripts/pulse.sh)");
}

void TestCapturePulse::capturesFedSpeechBitExact()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString wav = dir.filePath(QStringLiteral("speech.wav"));
    const QString error = MakeSpeechWav(wav, QStringLiteral("Recording through the sound server."));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const std::vector<std::int16_t> speech = ReadSamples(wav);
    QVERIFY(speech.size() > 8000);
    // The speech, then silence up to whole buffers and one buffer more.
    QByteArray fed = Bytes(speech.data(), speech.size());
    fed.append(QByteArray(4096 - fed.size() % 4096 + 4096, '\0'));

    QtSoundSystem sound;
    ScriptedMessageService messages;
    TACMRecord rec(nullptr, sound, messages);
    int buffers = 0;
    TNotifyEvent inner = rec.Recorder()->OnSample;
    rec.Recorder()->OnSample = [&](QObject* sender) {
        inner(sender);
        ++buffers;
    };
    rec.SetTargetFormat(FormatOut(G711Format(WaveTag::ALaw)));
    QVERIFY(rec.StartRecorder(m_device));
    const QString path = dir.filePath(QStringLiteral("announce.wav"));
    QVERIFY(rec.BeginFile(path));
    QTest::qWait(300); // the stream is connected before anything is fed
    {
        FifoFeeder feeder(m_fifo, fed);
        QVERIFY2(feeder.Error().isEmpty(), qPrintable(feeder.Error()));
        QTRY_VERIFY_WITH_TIMEOUT(static_cast<qint64>(buffers) * 4096 >= fed.size(), 20000);
        QCOMPARE(feeder.Written(), static_cast<qint64>(fed.size()));
    }
    rec.EndFile();
    rec.StopRecorder();
    QVERIFY(messages.entries.isEmpty());

    const QByteArray file = ReadTestFile(path);
    QVERIFY(file.size() >= 58);
    const std::uint32_t n = static_cast<std::uint32_t>(file.size() - 58);
    QCOMPARE(n % 2048, 0u);
    QCOMPARE(file.left(58), MessageHead(WaveTag::ALaw, n));
    QCOMPARE(rec.Duration(), static_cast<std::int32_t>(n * 2 / 16000.5));
    const QByteArray expected = SoxEncode(Bytes(speech.data(), speech.size()), QStringLiteral("a-law"));
    QVERIFY2(
        file.mid(58).contains(expected),
        qPrintable(
            QStringLiteral("the fed speech (%1 bytes) is not in the %2 captured bytes").arg(expected.size()).arg(n)));
}

QTEST_GUILESS_MAIN(TestCapturePulse)
#include "TestCapturePulse.moc"
