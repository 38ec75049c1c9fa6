#include "RecorderRules.h"

std::uint8_t ClassifyReport(const QByteArray& report)
{
    return (report.contains("IXTA") || report.contains("UMBA")) ? RecorderType::Ixta : RecorderType::OtherDevices;
}

QByteArray SubstituteReport(std::uint8_t recorderType)
{
    return recorderType == RecorderType::Ixta ? QByteArrayLiteral("IXTA") : QByteArrayLiteral("Unknown");
}

bool IsFaxServer(const QByteArray& report)
{
    for (const char* model : {"KORAL", "MESSIN", "TAVRO", "DUNSEL", "PIRRA"}) {
        if (report.contains(model))
            return true;
    }
    return false;
}

ReportLaw LawFromReport(const QByteArray& report)
{
    ReportLaw law = ReportLaw::Unchanged;
    if (report.contains("IST1"))
        law = ReportLaw::MuLaw;
    if (report.contains("ISE1"))
        law = ReportLaw::ALaw;
    return law;
}

QByteArray KeyCommand(const QByteArray& keyBytes)
{
    return QByteArrayLiteral("[K]") + keyBytes.toHex().toUpper();
}

bool DecodeKeyCommand(const QByteArray& arg, QByteArray& keyBytes)
{
    if (!arg.startsWith("[K]"))
        return false;
    const QByteArray hex = arg.mid(3);
    if (hex.size() % 2 != 0)
        return false;
    for (const char c : hex) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return false;
    }
    keyBytes = QByteArray::fromHex(hex);
    return true;
}
