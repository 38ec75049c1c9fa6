#include "IniFile.h"

#include "Unitstring.h"

#include <QFile>

#include <cstdint>
#include <limits>

namespace {

QByteArray Trimmed(const QByteArray& s)
{
    return s.trimmed();
}

// "[name]" → name (trimmed); false when the line is not a section header.
bool SectionName(const QByteArray& line, QByteArray& name)
{
    const QByteArray t = Trimmed(line);
    if (!t.startsWith('['))
        return false;
    const qsizetype close = t.indexOf(']');
    name = Trimmed(close < 0 ? t.mid(1) : t.mid(1, close - 1));
    return true;
}

// "key=value" → key and raw value; false for comments, blank lines and lines without '='.
bool KeyValue(const QByteArray& line, QByteArray& key, QByteArray& value)
{
    const QByteArray t = Trimmed(line);
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('['))
        return false;
    const qsizetype eq = t.indexOf('=');
    if (eq < 0)
        return false;
    key = Trimmed(t.left(eq));
    value = Trimmed(t.mid(eq + 1));
    return true;
}

bool SameName(const QByteArray& a, const QByteArray& b)
{
    return a.size() == b.size() && qstrnicmp(a.constData(), b.constData(), a.size()) == 0;
}

} // namespace

int StrToIntDef(const QByteArray& text, int def)
{
    QByteArray t = text.trimmed();
    if (t.isEmpty())
        return def;
    bool negative = false;
    qsizetype i = 0;
    if (t[0] == '-' || t[0] == '+') {
        negative = t[0] == '-';
        ++i;
    }
    int base = 10;
    if (i < t.size() && t[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= t.size())
        return def;
    unsigned long long value = 0;
    const unsigned long long limit = base == 16 ? 0xFFFFFFFFull : 0x80000000ull;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return def;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (value > limit)
            return def;
    }
    if (base == 10) {
        if (!negative && value > static_cast<unsigned long long>(std::numeric_limits<int>::max()))
            return def;
        return negative ? static_cast<int>(-static_cast<long long>(value)) : static_cast<int>(value);
    }
    // Hexadecimal covers the full 32 bits; $FFFFFFFF reads as -1.
    const auto bits = static_cast<std::uint32_t>(value);
    const int v = static_cast<int>(bits);
    return negative ? -v : v;
}

IniFile::IniFile(QString path, bool autoFlush) : m_path(std::move(path)), m_autoFlush(autoFlush)
{
    Load();
}

void IniFile::Load()
{
    QByteArray data;
    if (!m_path.isEmpty() && ReadFileBytes(m_path, data))
        SetContent(data);
}

void IniFile::SetContent(const QByteArray& data)
{
    m_lines.clear();
    m_eol = data.contains("\r\n") ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
    m_endsWithEol = data.isEmpty() || data.endsWith('\n') || data.endsWith('\r');
    // Lines are kept as they stand, so that a write changes only the line it touches.
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        if (end < 0)
            end = data.size();
        QByteArray line = data.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        m_lines.append(line);
        start = end + 1;
    }
}

int IniFile::FindSection(const QByteArray& section) const
{
    QByteArray name;
    for (int i = 0; i < m_lines.size(); ++i) {
        if (SectionName(m_lines[i], name) && SameName(name, section.trimmed()))
            return i;
    }
    return -1;
}

int IniFile::FindKey(int sectionLine, const QByteArray& key) const
{
    QByteArray k, v, name;
    const QByteArray wanted = key.trimmed();
    for (int i = sectionLine + 1; i < m_lines.size(); ++i) {
        if (SectionName(m_lines[i], name))
            break;
        if (KeyValue(m_lines[i], k, v) && SameName(k, wanted))
            return i;
    }
    return -1;
}

QByteArray IniFile::ReadString(const QByteArray& section, const QByteArray& key, const QByteArray& def) const
{
    const int s = FindSection(section);
    if (s < 0)
        return def.left(MaxValueLength);
    const int k = FindKey(s, key);
    if (k < 0)
        return def.left(MaxValueLength);
    QByteArray name, value;
    KeyValue(m_lines[k], name, value);
    // A value in matching quotes loses them, as the profile functions do.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value.left(MaxValueLength);
}

int IniFile::ReadInteger(const QByteArray& section, const QByteArray& key, int def) const
{
    return StrToIntDef(ReadString(section, key, QByteArray()), def);
}

bool IniFile::ReadBool(const QByteArray& section, const QByteArray& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool IniFile::SectionExists(const QByteArray& section) const
{
    return FindSection(section) >= 0;
}

bool IniFile::ValueExists(const QByteArray& section, const QByteArray& key) const
{
    const int s = FindSection(section);
    return s >= 0 && FindKey(s, key) >= 0;
}

QList<QByteArray> IniFile::ReadSection(const QByteArray& section) const
{
    QList<QByteArray> keys;
    const int s = FindSection(section);
    if (s < 0)
        return keys;
    QByteArray k, v, name;
    for (int i = s + 1; i < m_lines.size(); ++i) {
        if (SectionName(m_lines[i], name))
            break;
        if (KeyValue(m_lines[i], k, v))
            keys.append(k);
    }
    return keys;
}

QList<QByteArray> IniFile::ReadSections() const
{
    QList<QByteArray> sections;
    QByteArray name;
    for (const QByteArray& line : m_lines) {
        if (SectionName(line, name))
            sections.append(name);
    }
    return sections;
}

bool IniFile::WriteString(const QByteArray& section, const QByteArray& key, const QByteArray& value)
{
    const QByteArray line = key.trimmed() + '=' + value;
    const int s = FindSection(section);
    if (s < 0) {
        m_lines.append('[' + section.trimmed() + ']');
        m_lines.append(line);
    } else if (const int k = FindKey(s, key); k >= 0) {
        m_lines[k] = line;
    } else {
        // After the last non-blank line of the section.
        int last = s;
        QByteArray name;
        for (int i = s + 1; i < m_lines.size() && !SectionName(m_lines[i], name); ++i) {
            if (!m_lines[i].trimmed().isEmpty())
                last = i;
        }
        m_lines.insert(last + 1, line);
    }
    return m_autoFlush ? UpdateFile() : true;
}

bool IniFile::WriteInteger(const QByteArray& section, const QByteArray& key, int value)
{
    return WriteString(section, key, QByteArray::number(value));
}

bool IniFile::UpdateFile()
{
    QByteArray data;
    for (int i = 0; i < m_lines.size(); ++i) {
        data += m_lines[i];
        if (i + 1 < m_lines.size() || m_endsWithEol)
            data += m_eol;
    }
    m_error.clear();
    return WriteFileBytes(m_path, data, &m_error);
}
