#include "HttpTestServer.h"

#include "TestFolders.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

HttpTestServer::HttpTestServer()
{
    QDir().mkpath(Root());
}

HttpTestServer::~HttpTestServer()
{
    Stop();
}

bool HttpTestServer::Start()
{
    const QString script = SourceDir() + QStringLiteral("/tests/update/update_server.py");
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    {script, QStringLiteral("--root"), Root(), QStringLiteral("--log"),
                     m_dir.path() + QStringLiteral("/requests.log"), QStringLiteral("--lifetime"),
                     QStringLiteral("300")});
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("cannot start /usr/bin/python3: ") + m_process.errorString();
        return false;
    }
    QByteArray out;
    const QDeadlineTimer deadline(10000);
    while (!out.contains('\n') && !deadline.hasExpired() && m_process.state() == QProcess::Running) {
        m_process.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        out += m_process.readAllStandardOutput();
    }
    if (!out.startsWith("PORT ")) {
        m_error = QStringLiteral("the test HTTP server did not report its port: ") + QString::fromLatin1(out);
        Stop();
        return false;
    }
    m_port = out.mid(5).trimmed().toInt();
    return m_port > 0;
}

void HttpTestServer::Stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel(); // the server ends when its standard input closes
    if (!m_process.waitForFinished(3000)) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
}

QString HttpTestServer::Url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port) + path;
}

bool HttpTestServer::Put(const QString& relativePath, const QByteArray& data) const
{
    return WriteTestFile(Root() + relativePath, data);
}

QStringList HttpTestServer::Requests() const
{
    const QByteArray log = ReadTestFile(m_dir.path() + QStringLiteral("/requests.log"));
    return QString::fromUtf8(log).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
