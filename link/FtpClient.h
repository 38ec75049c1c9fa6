#pragma once

#include "FtpReplyParser.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QEventLoop;
class QFile;
class QTcpServer;
class QTcpSocket;

// The outcome of the last operation, for callers that want the reason as well.
struct FtpResult
{
    bool ok = false;
    int statusCode = 0; // last reply code, or a code set by the client (500, 426, 0)
    QString errorText;  // what went wrong inside the client; empty when a reply said it
};

// An FTP client for the recorder: one control connection, active data connections only
// (PORT on IPv4, EPRT on IPv6), never passive, never a TYPE command; files travel as bytes.
//
// Every operation is synchronous: it spins a local event loop until its exchange is over,
// so timers, repaints and input keep running meanwhile. An operation gives up after
// Timeout seconds without any progress (StatusCode 426). After every operation StatusCode
// holds the last reply code and Connected() whether the control connection is open.
// A time-out, a 421 reply and a reply that is too long or malformed close the control
// connection. An operation started while another one waits (from the event loop) is
// refused: false, StatusCode unchanged.
//
// Codes set by the client itself:
//   500  host not found, connection refused, bad port text
//   426  time-out, or the connection closed without a reply
//   501  a command argument holding a line break (never sent)
//   425  no local data port could be opened
//   0    the local file could not be opened or written (ErrorText says why)
class TFtpClient final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFtpClient)

public:
    explicit TFtpClient(QObject* parent = nullptr);
    ~TFtpClient() override;

    // Connection parameters, set before Connect.
    QString HostName;
    QString Port = QStringLiteral("ftp"); // decimal text; "ftp" stands for 21
    QByteArray UserName;
    QByteArray PassWord;

    // Transfer parameters: the remote file name or listing argument, and the local path.
    QByteArray HostFileName;
    QString LocalFileName;
    // When not empty, the local file's path as the file system's bytes, used instead of
    // LocalFileName to open it (8-bit names that are no valid UTF-8); LocalFileName then
    // only names the file in messages.
    QByteArray LocalFileNative;

    // Seconds without progress before an operation is aborted.
    int Timeout = 15;
    // Largest reply (all its lines) accepted; a longer one ends the session with an error.
    qint64 MaxReplyBytes = 64 * 1024;

    // Called once per reply line (every line of a multi-line reply), without its line end.
    std::function<void(TFtpClient& sender, const QByteArray& line)> OnResponse;
    // Called when the client fails inside its own work (not by a reply): a reply that is
    // too long or malformed, a local file that cannot be opened or written. The text
    // says what happened. Called when the operation ends, never from inside a socket event.
    std::function<void(TFtpClient& sender, const QString& text)> OnBgException;

    // Opens the control connection to HostName:Port, expects the greeting 220, then sends
    // USER and PASS. True when the login completed without an error reply; StatusCode 230
    // means logged in. A failed login closes the connection.
    bool Connect();
    // Sends one raw command line unchanged; true for a final reply below 400.
    bool Quote(const QByteArray& commandLine);
    // The same with LocalFileName as the command line.
    bool Quote();
    // PORT/EPRT, then "LIST" with HostFileName as argument (LIST alone when empty);
    // the listing data is written to LocalFileName.
    bool Dir();
    // PORT/EPRT, then RETR HostFileName into LocalFileName (created before the exchange).
    bool Get();
    // PORT/EPRT, then STOR HostFileName with the content of LocalFileName.
    bool Put();
    // DELE HostFileName.
    bool Dele();
    // QUIT, then the control connection is closed (also when the reply does not come).
    bool Quit();

    int StatusCode() const { return m_result.statusCode; }
    bool Connected() const;
    QString ErrorText() const { return m_result.errorText; }
    FtpResult LastResult() const { return m_result; }
    // Every line of the last complete reply.
    QList<QByteArray> LastReply() const { return m_lastReply; }

private:
    using Reply = FtpReplyParser::Reply;
    enum class Fault { None, TimedOut, Protocol, LocalFile };
    enum class DataKind { List, Retrieve, Store };

    bool Begin();
    bool Finish(bool ok);
    bool Fail(int code, const QString& text = {});
    void Wake();
    void Spin(const std::function<bool()>& done);
    void RestartIdle();
    void SetFault(Fault fault, const QString& text);
    bool FaultResult();
    void FireExceptions();
    void CloseControl();
    void CloseData();

    bool SendLine(const QByteArray& line);
    // Waits for the next complete reply; false (with StatusCode set) when none can come.
    bool ReadReply(Reply& reply);
    bool Command(const QByteArray& line, Reply& reply);
    bool Transfer(DataKind kind, const QByteArray& command);
    bool OpenDataListener(QByteArray& portCommand);

    void OnControlReadyRead();
    void OnNewDataConnection();
    void OnDataReadyRead();
    void OnDataBytesWritten();

    QTcpSocket* m_control = nullptr;
    QTcpServer* m_listener = nullptr;
    QTcpSocket* m_data = nullptr;
    QHostAddress m_peer;
    QTimer m_idle;
    QEventLoop* m_loop = nullptr;
    bool m_busy = false;
    bool m_inParse = false;
    quint64 m_controlGeneration = 0; // counts closes, so a parse loop notices one

    FtpReplyParser m_parser;
    QList<Reply> m_replies; // complete replies not yet read
    QList<QByteArray> m_lastReply;

    Fault m_fault = Fault::None;
    QString m_faultText;
    QStringList m_pendingExceptions;

    QFile* m_file = nullptr; // local file of the running transfer
    DataKind m_kind = DataKind::List;
    bool m_dataDone = false;     // the data connection has closed
    bool m_dataStarted = false;  // the data connection was accepted
    bool m_storeReady = false;   // the preliminary reply to STOR has come
    bool m_storeClosing = false; // the whole local file has been queued for sending

    FtpResult m_result;
};
