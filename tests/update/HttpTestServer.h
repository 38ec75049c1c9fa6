#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The loopback HTTP server of the update tests (update_server.py run by /usr/bin/python3):
// serves the files of Root() and the special paths /redirect/<n>/, /stall/, /slow/,
// /status/<code>. Started on a free port, always stopped by the destructor.
class HttpTestServer
{
public:
    HttpTestServer();
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    // Starts the server and waits (at most 10 s) until it listens; false with ErrorText() on failure.
    bool Start();
    void Stop();
    const QString& ErrorText() const { return m_error; }

    int Port() const { return m_port; }
    QString Root() const { return m_dir.path() + QStringLiteral("/root/"); }
    // "http://127.0.0.1:<port>" + path (path begins with '/').
    QString Url(const QString& path) const;
    // Writes a file to serve under Root(); returns false on failure.
    bool Put(const QString& relativePath, const QByteArray& data) const;
    // The requests so far, "GET <path>" or "PROXY <path>", in order.
    QStringList Requests() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    QString m_error;
};
