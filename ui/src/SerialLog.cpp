#include "rangeview/ui/SerialLog.h"

#include "rangeview/serial/SerialPlatform.h"

#include <QString>

namespace rv {

Q_LOGGING_CATEGORY(SerialLog, "rangeview.serial", QtWarningMsg)

namespace {

void LogSystemError(const SystemError& error)
{
    qCWarning(SerialLog).noquote().nospace()
        << QString::fromStdString(Describe(error)) << " (system error " << error.Code << ")";
}

} // namespace

void InstallSerialErrorLog()
{
    SetSystemErrorSink(&LogSystemError);
}

} // namespace rv
