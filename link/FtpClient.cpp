#include "FtpClient.h"

#include <QEventLoop>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

namespace {

constexpr qint64 StoreChunk = 64 * 1024;
constexpr qint64 StoreQueueLimit = 256 * 1024;

bool HasLineBreak(const QByteArray& text)
{
    return text.contains('\r') || text.contains('\n');
}

// "ftp" or a decimal port number 1..65535.
bool ParsePort(const QString& text, quint16& port)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("ftp"), Qt::CaseInsensitive) == 0) {
        port = 21;
        return true;
    }
    bool ok = false;
    const uint value = t.toUInt(&ok, 10);
    if (!ok || value == 0 || value > 65535)
        return false;
    port = static_cast<quint16>(value);
    return true;
}

} // namespace

TFtpClient::TFtpClient(QObject* parent) : QObject(parent), m_control(new QTcpSocket(this))
{
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this,
            [this] { SetFault(Fault::TimedOut, QStringLiteral("No progress for %1 seconds").arg(Timeout)); });
    connect(m_control, &QTcpSocket::readyRead, this, &TFtpClient::OnControlReadyRead);
    connect(m_control, &QTcpSocket::disconnected, this, &TFtpClient::Wake);
    connect(m_control, &QTcpSocket::errorOccurred, this, &TFtpClient::Wake);
    connect(m_control, &QTcpSocket::connected, this, &TFtpClient::Wake);
}

TFtpClient::~TFtpClient()
{
    CloseData();
    m_control->disconnect(this);
    m_control->abort();
}

bool TFtpClient::Connected() const
{
    return m_control->state() == QAbstractSocket::ConnectedState;
}

// ---- operation frame

bool TFtpClient::Begin()
{
    if (m_busy) {
        // A second operation while one waits (re-entered from the event loop) is refused;
        // the running one keeps its state.
        return false;
    }
    m_busy = true;
    m_fault = Fault::None;
    m_faultText.clear();
    m_result.ok = false;
    m_result.errorText.clear();
    m_replies.clear(); // replies nobody asked for (sent while idle) are stale now
    RestartIdle();
    return true;
}

bool TFtpClient::Finish(bool ok)
{
    m_idle.stop();
    CloseData();
    m_busy = false;
    m_result.ok = ok;
    FireExceptions();
    return ok;
}

void TFtpClient::FireExceptions()
{
    const QStringList pending = std::exchange(m_pendingExceptions, {});
    for (const QString& text : pending) {
        if (OnBgException)
            OnBgException(*this, text);
    }
}

bool TFtpClient::Fail(int code, const QString& text)
{
    m_result.statusCode = code;
    if (!text.isEmpty())
        m_result.errorText = text;
    return false;
}

void TFtpClient::Wake()
{
    if (m_loop)
        m_loop->quit();
}

void TFtpClient::Spin(const std::function<bool()>& done)
{
    while (m_fault == Fault::None && !done()) {
        QEventLoop loop;
        m_loop = &loop;
        loop.exec();
        m_loop = nullptr;
    }
}

void TFtpClient::RestartIdle()
{
    if (m_busy)
        m_idle.start(std::max(1, Timeout) * 1000);
}

void TFtpClient::SetFault(Fault fault, const QString& text)
{
    if (fault == Fault::Protocol || fault == Fault::LocalFile) {
        m_pendingExceptions << text;
        if (!m_busy) {
            // Found while idle: report it from the event loop, outside the socket event.
            QTimer::singleShot(0, this, [this] {
                if (!m_busy)
                    FireExceptions();
            });
        }
    }
    if (m_fault == Fault::None) {
        m_fault = fault;
        m_faultText = text;
    }
    Wake();
}

void TFtpClient::CloseControl()
{
    ++m_controlGeneration;
    m_control->abort();
    m_parser.Reset();
    Wake();
}

void TFtpClient::CloseData()
{
    if (m_data) {
        m_data->disconnect(this);
        m_data->abort();
        delete m_data;
        m_data = nullptr;
    }
    if (m_listener) {
        m_listener->disconnect(this);
        m_listener->close();
        delete m_listener;
        m_listener = nullptr;
    }
    m_file = nullptr;
}

// After Spin: turns a fault into the operation's result.
bool TFtpClient::FaultResult()
{
    switch (m_fault) {
    case Fault::None:
        break;
    case Fault::TimedOut:
    case Fault::Protocol:
        CloseData();
        CloseControl();
        return Fail(426, m_faultText);
    case Fault::LocalFile:
        return Fail(426, m_faultText);
    }
    return Fail(426, QStringLiteral("Connection closed"));
}

// ---- control connection

bool TFtpClient::SendLine(const QByteArray& line)
{
    if (HasLineBreak(line))
        return Fail(501, QStringLiteral("A command argument holds a line break; nothing was sent"));
    if (!Connected())
        return Fail(426, QStringLiteral("Not connected"));
    const QByteArray bytes = line + QByteArrayLiteral("\r\n");
    m_control->write(bytes);
    RestartIdle();
    return true;
}

bool TFtpClient::ReadReply(Reply& reply)
{
    Spin([this] { return !m_replies.isEmpty() || !Connected(); });
    if (m_fault == Fault::TimedOut || m_fault == Fault::Protocol)
        return FaultResult();
    if (!m_replies.isEmpty()) {
        reply = m_replies.takeFirst();
        m_lastReply = reply.lines;
        m_result.statusCode = reply.code;
        return true;
    }
    return Fail(426, QStringLiteral("The connection closed without a reply"));
}

bool TFtpClient::Command(const QByteArray& line, Reply& reply)
{
    if (!SendLine(line))
        return false;
    do {
        if (!ReadReply(reply))
            return false;
    } while (reply.code < 200);
    return true;
}

void TFtpClient::OnControlReadyRead()
{
    // An OnResponse handler may run a nested event loop (a message box); bytes that come
    // meanwhile are read by this outer call, in order.
    if (m_inParse)
        return;
    m_inParse = true;
    const quint64 generation = m_controlGeneration;
    while (generation == m_controlGeneration && m_control->bytesAvailable() > 0) {
        m_parser.Append(m_control->readAll());
        RestartIdle();
        m_parser.MaxReplyBytes = MaxReplyBytes;
        while (generation == m_controlGeneration) {
            QByteArray line;
            bool replyDone = false;
            Reply reply;
            const auto status = m_parser.Next(line, replyDone, reply);
            if (status == FtpReplyParser::Status::NeedMore)
                break;
            if (status == FtpReplyParser::Status::Error) {
                SetFault(Fault::Protocol, m_parser.ErrorText());
                CloseControl();
                break;
            }
            if (OnResponse)
                OnResponse(*this, line);
            if (!replyDone)
                continue;
            const bool closing = reply.code == 421;
            m_replies << reply;
            if (closing)
                CloseControl(); // the server ends the session
            Wake();
        }
    }
    m_inParse = false;
}

// ---- operations

bool TFtpClient::Connect()
{
    if (!Begin())
        return false;
    CloseControl();
    m_replies.clear();
    quint16 port = 0;
    if (!ParsePort(Port, port))
        return Finish(Fail(500, QStringLiteral("Bad port: ") + Port));

    m_control->connectToHost(HostName.trimmed(), port);
    Spin([this] {
        const auto s = m_control->state();
        return s == QAbstractSocket::ConnectedState || s == QAbstractSocket::UnconnectedState;
    });
    if (m_fault != Fault::None)
        return Finish(FaultResult());
    if (!Connected()) {
        const QString why = m_control->errorString();
        CloseControl();
        return Finish(Fail(500, why));
    }
    m_peer = m_control->peerAddress();

    Reply reply;
    do {
        if (!ReadReply(reply)) {
            CloseControl();
            return Finish(false);
        }
    } while (reply.code < 200);
    if (reply.code != 220) {
        CloseControl();
        return Finish(false);
    }
    if (!Command(QByteArrayLiteral("USER ") + UserName, reply)) {
        CloseControl();
        return Finish(false);
    }
    if (reply.code == 331) {
        if (!Command(QByteArrayLiteral("PASS ") + PassWord, reply)) {
            CloseControl();
            return Finish(false);
        }
    }
    if (reply.code >= 400) {
        CloseControl();
        return Finish(false);
    }
    return Finish(true);
}

bool TFtpClient::Quote(const QByteArray& commandLine)
{
    if (!Begin())
        return false;
    Reply reply;
    const bool ok = Command(commandLine, reply) && reply.code < 400;
    return Finish(ok);
}

bool TFtpClient::Quote()
{
    return Quote(LocalFileName.toLatin1());
}

bool TFtpClient::Dele()
{
    if (!Begin())
        return false;
    Reply reply;
    const bool ok = Command(QByteArrayLiteral("DELE ") + HostFileName, reply) && reply.code < 300;
    return Finish(ok);
}

bool TFtpClient::Quit()
{
    if (!Begin())
        return false;
    if (!Connected())
        return Finish(Fail(426, QStringLiteral("Not connected")));
    Reply reply;
    const bool ok = Command(QByteArrayLiteral("QUIT"), reply) && reply.code < 300;
    CloseControl();
    return Finish(ok);
}

bool TFtpClient::Dir()
{
    QByteArray command = QByteArrayLiteral("LIST");
    if (!HostFileName.isEmpty())
        command += ' ' + HostFileName;
    return Transfer(DataKind::List, command);
}

bool TFtpClient::Get()
{
    return Transfer(DataKind::Retrieve, QByteArrayLiteral("RETR ") + HostFileName);
}

bool TFtpClient::Put()
{
    return Transfer(DataKind::Store, QByteArrayLiteral("STOR ") + HostFileName);
}

bool TFtpClient::OpenDataListener(QByteArray& portCommand)
{
    const QHostAddress local = m_control->localAddress();
    bool isV4 = false;
    const quint32 v4 = local.toIPv4Address(&isV4);
    m_listener = new QTcpServer(this);
    connect(m_listener, &QTcpServer::newConnection, this, &TFtpClient::OnNewDataConnection);
    QHostAddress bindTo = isV4 ? QHostAddress(v4) : local;
    if (!m_listener->listen(bindTo, 0)) {
        const QString why = m_listener->errorString();
        CloseData();
        return Fail(425, QStringLiteral("Cannot open a data port: ") + why);
    }
    const quint16 port = m_listener->serverPort();
    if (isV4) {
        portCommand = QByteArrayLiteral("PORT ") + QByteArray::number((v4 >> 24) & 0xFF) + ',' +
                      QByteArray::number((v4 >> 16) & 0xFF) + ',' + QByteArray::number((v4 >> 8) & 0xFF) + ',' +
                      QByteArray::number(v4 & 0xFF) + ',' + QByteArray::number(port >> 8) + ',' +
                      QByteArray::number(port & 0xFF);
    } else {
        bindTo.setScopeId(QString());
        portCommand =
            QByteArrayLiteral("EPRT |2|") + bindTo.toString().toLatin1() + '|' + QByteArray::number(port) + '|';
    }
    return true;
}

bool TFtpClient::Transfer(DataKind kind, const QByteArray& command)
{
    if (!Begin())
        return false;
    if (HasLineBreak(command))
        return Finish(Fail(501, QStringLiteral("A command argument holds a line break; nothing was sent")));
    if (!Connected())
        return Finish(Fail(426, QStringLiteral("Not connected")));

    // The local file is held exclusively for the whole transfer (an advisory lock that every
    // Pellaro process honours), and a download truncates it only once it holds the lock, so a
    // second instance working in the same folder cannot destroy a file that is in use.
    const QIODevice::OpenMode mode = kind == DataKind::Store ? QIODevice::ReadOnly : QIODevice::WriteOnly;
    const QByteArray path = LocalFileNative.isEmpty() ? QFile::encodeName(LocalFileName) : LocalFileNative;
    QFile file;
    bool opened = false;
    QString reason;
    const int flags = kind == DataKind::Store ? O_RDONLY : O_WRONLY | O_CREAT;
    const int fd = ::open(path.constData(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        reason = QString::fromLocal8Bit(std::strerror(errno));
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        reason = errno == EWOULDBLOCK ? QStringLiteral("The file is in use by another program.")
                                      : QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
    } else if (kind != DataKind::Store && ::ftruncate(fd, 0) != 0) {
        reason = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
    } else if (!(opened = file.open(fd, mode, QFileDevice::AutoCloseHandle))) {
        reason = file.errorString();
        ::close(fd);
    }
    if (!opened) {
        const QString text = QStringLiteral("Cannot %1 file \"%2\". %3")
                                 .arg(kind == DataKind::Store ? QStringLiteral("open") : QStringLiteral("create"),
                                      LocalFileName, reason);
        m_pendingExceptions << text;
        return Finish(Fail(0, text));
    }

    // The server may connect as soon as it has the PORT command.
    m_kind = kind;
    m_file = &file;
    m_dataStarted = false;
    m_dataDone = false;
    m_storeReady = false;
    m_storeClosing = false;
    QByteArray portCommand;
    if (!OpenDataListener(portCommand))
        return Finish(false);
    Reply reply;
    if (!Command(portCommand, reply))
        return Finish(false);
    if (reply.code >= 300)
        return Finish(false);
    if (!SendLine(command))
        return Finish(false);
    // The data connection may come before or after the preliminary reply; with tiny
    // files the final reply can even be read before the data connection is served.
    bool final = false;
    for (;;) {
        Spin([this, &final] { return !m_replies.isEmpty() || !Connected() || (final && m_dataDone); });
        if (m_fault == Fault::LocalFile) {
            // Stop the transfer but keep the control connection in step: read the final reply.
            const QString text = m_faultText;
            CloseData();
            m_fault = Fault::None;
            while (!final && ReadReply(reply))
                final = reply.code >= 200;
            return Finish(Fail(0, text));
        }
        if (m_fault != Fault::None)
            return Finish(FaultResult());
        if (!m_replies.isEmpty()) {
            reply = m_replies.takeFirst();
            m_lastReply = reply.lines;
            m_result.statusCode = reply.code;
            if (reply.code >= 400)
                return Finish(false);
            if (reply.code >= 200) {
                final = true;
            } else if (kind == DataKind::Store && !m_storeReady) {
                m_storeReady = true; // the server is ready to receive: start sending
                OnDataBytesWritten();
            }
            continue;
        }
        if (final && m_dataDone)
            break;
        return Finish(Fail(426, QStringLiteral("The connection closed during the transfer")));
    }
    if (kind == DataKind::Store) {
        if (!m_storeClosing || !file.atEnd())
            return Finish(Fail(426, QStringLiteral("The data connection closed before the file was sent")));
    } else if (!file.flush()) {
        const QString text = QStringLiteral("Cannot write file \"%1\". %2").arg(LocalFileName, file.errorString());
        m_pendingExceptions << text;
        return Finish(Fail(0, text));
    }
    return Finish(true);
}

// ---- data connection

void TFtpClient::OnNewDataConnection()
{
    while (m_listener && m_listener->hasPendingConnections()) {
        QTcpSocket* socket = m_listener->nextPendingConnection();
        if (m_data || !socket->peerAddress().isEqual(m_peer, QHostAddress::ConvertV4MappedToIPv4)) {
            // Only the control connection's peer may deliver the data, and only once.
            socket->abort();
            delete socket;
            continue;
        }
        m_data = socket;
        m_data->setParent(this);
        m_listener->close();
        m_dataStarted = true;
        connect(m_data, &QTcpSocket::readyRead, this, &TFtpClient::OnDataReadyRead);
        connect(m_data, &QTcpSocket::bytesWritten, this, &TFtpClient::OnDataBytesWritten);
        connect(m_data, &QTcpSocket::disconnected, this, [this] {
            OnDataReadyRead();
            m_dataDone = true;
            Wake();
        });
        RestartIdle();
        if (m_kind == DataKind::Store)
            OnDataBytesWritten();
        else
            OnDataReadyRead();
        Wake();
    }
}

void TFtpClient::OnDataReadyRead()
{
    if (!m_data || !m_file || m_kind == DataKind::Store)
        return;
    const QByteArray bytes = m_data->readAll();
    if (bytes.isEmpty())
        return;
    RestartIdle();
    if (m_file->write(bytes) != bytes.size()) {
        SetFault(Fault::LocalFile,
                 QStringLiteral("Cannot write file \"%1\". %2").arg(LocalFileName, m_file->errorString()));
    }
}

void TFtpClient::OnDataBytesWritten()
{
    if (!m_data || !m_file || m_kind != DataKind::Store || !m_storeReady || m_storeClosing)
        return;
    RestartIdle();
    while (m_data && m_data->bytesToWrite() < StoreQueueLimit) {
        if (m_file->atEnd()) {
            m_storeClosing = true;
            m_data->disconnectFromHost(); // EOF tells the server the file is complete
            return;
        }
        const QByteArray chunk = m_file->read(StoreChunk);
        if (chunk.isEmpty()) {
            SetFault(Fault::LocalFile,
                     QStringLiteral("Cannot read file \"%1\". %2").arg(LocalFileName, m_file->errorString()));
            return;
        }
        m_data->write(chunk);
    }
}
