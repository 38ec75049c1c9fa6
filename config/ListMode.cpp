#include "ListMode.h"

#include <limits>

int ParseDecimal(const QByteArray& text)
{
    // Decimal whole number with an optional sign, as the recorder writes its settings.
    if (text.isEmpty())
        return -1;
    qsizetype i = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size())
        return -1;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int>::max())
            return -1;
    }
    return negative ? -static_cast<int>(value) : static_cast<int>(value);
}

int ReadListMode(const LineList& lines, std::uint8_t recorderType)
{
    if (lines.size() < 8)
        return -1;
    if (recorderType == 1)
        return ParseDecimal(lines[3]);
    const int active = ParseDecimal(lines[5]);
    const int white = ParseDecimal(lines[6]);
    if (active == -1 || white == -1)
        return -1;
    return active == 0 ? 0 : white + 1;
}

void PatchListMode(LineList& lines, std::uint8_t recorderType, int listMode)
{
    if (lines.size() < 8)
        return;
    if (recorderType == 1) {
        lines[3] = QByteArray::number(listMode);
        return;
    }
    lines[5] = QByteArray::number(listMode > 0 ? 1 : 0);
    lines[6] = QByteArray::number(listMode > 0 ? listMode - 1 : 0);
}
