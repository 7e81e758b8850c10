#pragma once

#include <QString>

namespace rv {

// The program's title: the executable's file name without its folder, cut at its first full
// stop, every character after the first in lower case ("/opt/RangeView.bin" -> "Rangeview").
QString ProgramTitleFrom(const QString& executablePath);

// ProgramTitleFrom(the running executable). Needs a QCoreApplication.
QString ProgramTitle();

// Error text as the general error report shows it: a full stop is appended when the last
// character sorts after the full stop ("... value" -> "... value.", "(5)" stays).
QString ErrorReportText(const QString& message);

} // namespace rv
