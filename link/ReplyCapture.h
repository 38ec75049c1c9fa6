#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <utility>

// The capture of the device report: fed with every reply line the FTP client reports.
// The caller arms it just before sending the report command and disarms it when the
// command ends, whatever its outcome.
class ReplyCapture
{
public:
    explicit ReplyCapture(QString workFolder) : m_workFolder(std::move(workFolder)) {}

    bool CaptureReply = false;
    bool ClassifyOnly = false;
    QByteArray DeviceReport;
    std::uint8_t ConnectedKind = 0;

    // Sets the flags before the report command.
    void Arm(bool classifyOnly);
    // Clears both flags after the command.
    void Disarm();

    // One reply line, without its line end. While CaptureReply is set the first line
    // becomes DeviceReport; then ConnectedKind is classified (ClassifyOnly) or the line
    // is written as "osreply.txt" into the get folder; CaptureReply is cleared.
    // Returns false when that file could not be written (error text in *error).
    bool FtpClientResponse(const QByteArray& line, QString* error = nullptr);

private:
    QString m_workFolder;
};
