#include "rangeview/ui/SerialLog.h"

#include "rangeview/serial/SerialPlatform.h"

#include <QString>

namespace rv {

Q_LOGGING_CATEGORY(SerialLog, "rangeview.serial", QtWarningMsg)

namespace {

void LogSystemError(const SystemError& error)
{
    qCWarning(SerialLog).noquote() << SerialErrorLine(error);
}

} // namespace

QString SerialErrorLine(const SystemError& error)
{
    return QString::fromStdString(Describe(error)) + QStringLiteral(" (system error ") +
           QString::number(error.Code) + QLatin1Char(')');
}

void InstallSerialErrorLog()
{
    SetSystemErrorSink(&LogSystemError);
}

} // namespace rv
