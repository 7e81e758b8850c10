#include "rangeview/ui/ProgramOptions.h"

#include <QRegularExpression>

namespace rv {

namespace {

bool IsWholeNumber(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    return digits.match(text).hasMatch();
}

} // namespace

ParsedOptions ParseProgramOptions(const QStringList& args)
{
    ParsedOptions parsed;
    ProgramOptions& o = parsed.Options;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const auto value = [&](QString& out) {
            if (i + 1 >= args.size()) {
                parsed.Error = QStringLiteral("%1 needs a value").arg(a);
                return false;
            }
            out = args[++i];
            return true;
        };
        if (a == QLatin1String("--demo")) {
            o.Demo = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            o.Help = true;
        } else if (a == QLatin1String("--port")) {
            if (!value(o.Port))
                return parsed;
        } else if (a == QLatin1String("--screenshot")) {
            if (!value(o.Screenshot))
                return parsed;
            if (o.Screenshot.isEmpty()) {
                parsed.Error = QStringLiteral("--screenshot needs a file name");
                return parsed;
            }
        } else if (a == QLatin1String("--quit-after")) {
            QString ms;
            if (!value(ms))
                return parsed;
            bool ok = false;
            const int n = ms.toInt(&ok);
            if (!IsWholeNumber(ms) || !ok) {
                parsed.Error =
                    QStringLiteral("--quit-after takes a number of milliseconds, not '%1'").arg(ms);
                return parsed;
            }
            o.QuitAfterMs = n;
        } else if (a.startsWith(QLatin1Char('-'))) {
            parsed.Error = QStringLiteral("unknown option '%1' (--help lists them)").arg(a);
            return parsed;
        } else {
            parsed.Error =
                QStringLiteral("unexpected argument '%1' (--help lists the options)").arg(a);
            return parsed;
        }
    }
    return parsed;
}

QString ProgramUsage()
{
    return QStringLiteral(
        "usage: rangeview [--port NAME] [--demo] [--screenshot PATH] [--quit-after MS]\n"
        "  --port NAME        put NAME into the port list (ttyUSB0 means /dev/ttyUSB0)\n"
        "  --demo             open the port and switch the hex echo and the waveform on\n"
        "  --screenshot PATH  write the window to PATH as PNG, then quit (after 3 s, or MS)\n"
        "  --quit-after MS    quit after MS milliseconds\n");
}

} // namespace rv
