#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// What the program relies on in the recorder's FTP server.

namespace FtpCode {
inline constexpr int LoggedIn = 230;
inline constexpr int TransferComplete = 226;
inline constexpr int FileNotFound = 550;
inline constexpr int ConnectionClosed = 426; // also set by the client on a time-out
inline constexpr int RecorderBusy = 520;
inline constexpr int NotLoggedIn = 530;      // user name or password wrong
inline constexpr int HostUnreachable = 500;  // set by the client: host not found or refused
} // namespace FtpCode

namespace RecorderType {
inline constexpr std::uint8_t Ixta = 0;
inline constexpr std::uint8_t OtherDevices = 1;
} // namespace RecorderType

// The raw command whose first reply line is the device report.
inline const QByteArray ReportCommand = QByteArrayLiteral("test report2");

// 0 (Ixta) when text contains "IXTA" or "UMBA" (case-sensitive), else 1.
std::uint8_t ClassifyReport(const QByteArray& report);

// "IXTA" for 0, "Unknown" for 1.
QByteArray SubstituteReport(std::uint8_t recorderType);

// True when the report names one of the fax-server models.
bool IsFaxServer(const QByteArray& report);

// The audio law a report selects. "IST1" selects mu-law, "ISE1" a-law, both a-law.
enum class ReportLaw { Unchanged, ALaw, MuLaw };
ReportLaw LawFromReport(const QByteArray& report);

// The LIST argument that sends a key sequence: "[K]" + two upper-case hex digits per byte.
QByteArray KeyCommand(const QByteArray& keyBytes);

// Decodes a key command back to its bytes; false when arg is not one.
bool DecodeKeyCommand(const QByteArray& arg, QByteArray& keyBytes);
