#include "FtpReplyParser.h"

#include <utility>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

void FtpReplyParser::Reset()
{
    m_in.clear();
    m_pos = 0;
    m_partial.clear();
    m_multiCode.clear();
    m_replyBytes = 0;
    m_error.clear();
}

FtpReplyParser::Status FtpReplyParser::Next(QByteArray& line, bool& replyDone, Reply& reply)
{
    replyDone = false;
    if (!m_error.isEmpty())
        return Status::Error;
    const qsizetype end = m_in.indexOf('\n', m_pos);
    if (end < 0) {
        // Drop what has been read, then check that the open line keeps within the cap.
        m_in.remove(0, m_pos);
        m_pos = 0;
        if (m_replyBytes + m_in.size() > MaxReplyBytes) {
            m_error = QStringLiteral("Reply longer than %1 bytes").arg(MaxReplyBytes);
            return Status::Error;
        }
        return Status::NeedMore;
    }
    line = m_in.mid(m_pos, end - m_pos);
    m_pos = end + 1;
    m_replyBytes += line.size() + 1;
    if (line.endsWith('\r'))
        line.chop(1);
    if (m_replyBytes > MaxReplyBytes) {
        m_error = QStringLiteral("Reply longer than %1 bytes").arg(MaxReplyBytes);
        return Status::Error;
    }
    const bool opening = m_multiCode.isEmpty();
    if (opening && (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]))) {
        m_error = QStringLiteral("Malformed reply line: ") + QString::fromLatin1(line.left(80));
        return Status::Error;
    }
    m_partial << line;
    if (opening) {
        if (line.size() > 3 && line[3] == '-') {
            m_multiCode = line.left(3);
            return Status::Line;
        }
    } else if (!(line.startsWith(m_multiCode) && (line.size() == 3 || line[3] == ' '))) {
        return Status::Line; // a middle line of a multi-line reply
    }
    reply.code = line.left(3).toInt();
    reply.lines = std::exchange(m_partial, {});
    m_multiCode.clear();
    m_replyBytes = 0;
    replyDone = true;
    return Status::Line;
}
