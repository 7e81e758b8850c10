#pragma once

#include <QLoggingCategory>

namespace rv {

// "rangeview.serial": the system's reason for every failed serial-port call (port path, the
// call, the reason), beside the fixed texts the window shows. Warnings are on by default, so a
// user who starts the program from a terminal sees why an open failed; QT_LOGGING_RULES turns
// them off ("rangeview.serial.warning=false").
Q_DECLARE_LOGGING_CATEGORY(SerialLog)

// Routes the serial platform's failure reports to SerialLog. Called once at program start,
// before any port is opened; the reports may come from the reader thread as well.
void InstallSerialErrorLog();

} // namespace rv
