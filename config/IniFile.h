#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// An INI file with the semantics of the Windows profile functions:
// sections and keys are found without regard to letter case, values are read
// up to 2047 characters, integers may be decimal, "0x" or "$" hexadecimal,
// and writing a key keeps every other line of the file exactly as it was.
// Changes are written to disk by UpdateFile() (or each Write* when autoFlush).
class IniFile
{
public:
    static constexpr int MaxValueLength = 2047;

    explicit IniFile(QString path, bool autoFlush = true);

    const QString& FileName() const { return m_path; }

    QByteArray ReadString(const QByteArray& section, const QByteArray& key, const QByteArray& def) const;
    int ReadInteger(const QByteArray& section, const QByteArray& key, int def) const;
    bool ReadBool(const QByteArray& section, const QByteArray& key, bool def) const;
    bool SectionExists(const QByteArray& section) const;
    bool ValueExists(const QByteArray& section, const QByteArray& key) const;
    QList<QByteArray> ReadSection(const QByteArray& section) const; // key names in file order
    QList<QByteArray> ReadSections() const;

    // Returns false (and sets ErrorText()) when the file cannot be written.
    bool WriteString(const QByteArray& section, const QByteArray& key, const QByteArray& value);
    bool WriteInteger(const QByteArray& section, const QByteArray& key, int value);
    bool UpdateFile();
    const QString& ErrorText() const { return m_error; }

    // Builds the file from bytes instead of reading it (for descriptors fetched over a network).
    void SetContent(const QByteArray& data);

private:
    void Load();
    int FindSection(const QByteArray& section) const;              // line index of "[...]" or -1
    int FindKey(int sectionLine, const QByteArray& key) const;     // line index or -1

    QString m_path;
    bool m_autoFlush;
    QList<QByteArray> m_lines;
    QByteArray m_eol = "\n";
    bool m_endsWithEol = true;
    QString m_error;
};

// Delphi-style StrToIntDef: decimal with optional sign, "$hex", "0x"/"0X" hex.
int StrToIntDef(const QByteArray& text, int def);
