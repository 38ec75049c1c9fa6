#include "RecorderSim.h"

#include "TestFolders.h"

#include <QDeadlineTimer>
#include <QFile>

namespace {

QList<QByteArray> ReadLog(const QString& path)
{
    QList<QByteArray> lines = ReadTestFile(path).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

RecorderSim::RecorderSim() = default;

RecorderSim::~RecorderSim()
{
    Stop();
}

bool RecorderSim::Start(const QStringList& extraArgs, const QString& host)
{
    m_host = host;
    const QString script = SourceDir() + QStringLiteral("/tools/recorder-sim/recorder_sim.py");
    QStringList args{QStringLiteral("-W"), QStringLiteral("ignore"), script,
                     QStringLiteral("--root"), m_root.path(),
                     QStringLiteral("--host"), host,
                     QStringLiteral("--port"), QStringLiteral("0"),
                     QStringLiteral("--log"), m_logs.filePath(QStringLiteral("commands.log")),
                     QStringLiteral("--key-log"), m_logs.filePath(QStringLiteral("keys.log"))};
    args += extraArgs;
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(QStringLiteral("/usr/bin/python3"), args);
    if (!m_process.waitForStarted(5000)) {
        Error = QStringLiteral("cannot start /usr/bin/python3: ") + m_process.errorString();
        return false;
    }
    QByteArray out;
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (!out.contains('\n') && !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        out += m_process.readAllStandardOutput();
        const qsizetype end = out.indexOf('\n');
        if (end < 0)
            continue;
        const QList<QByteArray> words = out.left(end).trimmed().split(' ');
        if (words.size() == 3 && words[0] == "LISTENING") {
            m_port = static_cast<quint16>(words[2].toUInt());
            return m_port != 0;
        }
        break;
    }
    Error = QStringLiteral("the recorder simulator did not start: ") + QString::fromLocal8Bit(out) +
            QString::fromLocal8Bit(m_process.readAllStandardError());
    Stop();
    return false;
}

void RecorderSim::Stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

void RecorderSim::AddAccount(const QByteArray& name, const QByteArray& password, const QByteArray& number)
{
    PutFile(QStringLiteral("USR.") + QString::fromLatin1(name), password + "\r\n" + number + "\r\n");
}

void RecorderSim::PutFile(const QString& name, const QByteArray& data)
{
    WriteTestFile(Root() + name, data);
}

QByteArray RecorderSim::FileData(const QString& name) const
{
    return ReadTestFile(Root() + name);
}

bool RecorderSim::HasFile(const QString& name) const
{
    return QFile::exists(Root() + name);
}

QList<QByteArray> RecorderSim::CommandLog() const
{
    return ReadLog(m_logs.filePath(QStringLiteral("commands.log")));
}

QList<QByteArray> RecorderSim::Commands() const
{
    QList<QByteArray> out;
    for (const QByteArray& line : CommandLog()) {
        if (!line.startsWith("PORT ") && !line.startsWith("EPRT ") && !line.startsWith("INTRUDE "))
            out << line;
    }
    return out;
}

QList<QByteArray> RecorderSim::KeyLog() const
{
    return ReadLog(m_logs.filePath(QStringLiteral("keys.log")));
}
