#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Splits the bytes of an FTP control connection into reply lines and replies (RFC 959):
// lines end with CR LF or a bare LF; a reply is one line "ddd text", or a multi-line reply
// from "ddd-text" up to the next line that starts with the same "ddd " (or is "ddd" alone).
// The bytes of one reply are capped, so a server cannot make the client buffer without end.
class FtpReplyParser
{
public:
    struct Reply
    {
        int code = 0;
        QList<QByteArray> lines;
    };
    enum class Status { NeedMore, Line, Error };

    explicit FtpReplyParser(qint64 maxReplyBytes = 64 * 1024) : MaxReplyBytes(maxReplyBytes) {}

    qint64 MaxReplyBytes;

    void Append(const QByteArray& bytes) { m_in += bytes; }

    // Takes the next complete line (without its line end). Line: replyDone tells whether it
    // ended a reply, which is then in reply. NeedMore: no complete line yet. Error: the
    // reply is too long or malformed (ErrorText); the parser stays failed until Reset.
    Status Next(QByteArray& line, bool& replyDone, Reply& reply);

    QString ErrorText() const { return m_error; }
    void Reset();

private:
    QByteArray m_in;
    qsizetype m_pos = 0;         // start of the unread bytes in m_in
    QList<QByteArray> m_partial; // lines of the reply being received
    QByteArray m_multiCode;      // code of an open multi-line reply
    qint64 m_replyBytes = 0;
    QString m_error;
};
