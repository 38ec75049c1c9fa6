#include "ReplyCapture.h"

#include "RecorderRules.h"
#include "Unitstring.h"
#include "WorkFolder.h"

void ReplyCapture::Arm(bool classifyOnly)
{
    CaptureReply = true;
    ClassifyOnly = classifyOnly;
}

void ReplyCapture::Disarm()
{
    CaptureReply = false;
    ClassifyOnly = false;
}

bool ReplyCapture::FtpClientResponse(const QByteArray& line, QString* error)
{
    if (!CaptureReply)
        return true;
    CaptureReply = false;
    DeviceReport = line;
    if (ClassifyOnly) {
        ConnectedKind = ClassifyReport(DeviceReport);
        return true;
    }
    return SaveLines({DeviceReport}, GetFolderOf(m_workFolder) + QStringLiteral("osreply.txt"),
                     QByteArrayLiteral("\r\n"), error);
}
