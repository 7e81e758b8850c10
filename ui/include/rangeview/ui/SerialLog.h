#pragma once

#include <QLoggingCategory>
#include <QString>

namespace rv {

struct SystemError;

// "rangeview.serial": the system's reason for every failed serial-port call (port path, the
// call, the reason), beside the fixed texts the window shows (whose boxes offer the same line
// as their details). Warnings are on by default; QT_LOGGING_RULES turns them off
// ("rangeview.serial.warning=false").
Q_DECLARE_LOGGING_CATEGORY(SerialLog)

// The line logged for a failure: "<port>: <call>: <reason> (system error <code>)".
QString SerialErrorLine(const SystemError& error);

// Routes the serial platform's failure reports to SerialLog. Called once at program start,
// before any port is opened; the reports may come from the reader thread as well.
void InstallSerialErrorLog();

} // namespace rv
