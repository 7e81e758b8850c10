#include "rangeview/ui/ProgramOptions.h"

#include <QRegularExpression>

namespace rv {

namespace {

bool IsWholeNumber(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    return digits.match(text).hasMatch();
}

// The options QGuiApplication, QApplication and the X11 platform take out of the command line,
// written with one dash or two; those marked take the next argument as their value. Qt 6 also
// takes -style=NAME, -stylesheet=PATH and -qmljsdebugger=... in one argument.
struct QtOption {
    const char* Name;
    bool TakesValue;
};
constexpr QtOption QtOptions[] = {
    {"-platform", true},
    {"-platformpluginpath", true},
    {"-platformtheme", true},
    {"-plugin", true},
    {"-qwindowgeometry", true},
    {"-qwindowicon", true},
    {"-qwindowtitle", true},
    {"-session", true},
    {"-style", true},
    {"-stylesheet", true},
    {"-display", true},
    {"-geometry", true},
    {"-title", true},
    {"-icon", true},
    {"-name", true},
    {"-visual", true},
    {"-reverse", false},
    {"-widgetcount", false},
    {"-testability", false},
    {"-nograb", false},
    {"-dograb", false},
};
constexpr const char* QtOptionsWithValueAttached[] = {"-style=", "-stylesheet=", "-qmljsdebugger="};

// How many arguments after arg Qt takes as its value (0 or 1), or -1 when arg is none of Qt's.
int QtOptionValueCount(const QString& arg)
{
    const QString single = arg.startsWith(QLatin1String("--")) ? arg.mid(1) : arg;
    for (const QtOption& option : QtOptions)
        if (single == QLatin1String(option.Name))
            return option.TakesValue ? 1 : 0;
    for (const char* prefix : QtOptionsWithValueAttached)
        if (single.startsWith(QLatin1String(prefix)))
            return 0;
    return -1;
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
        } else if (const int values = QtOptionValueCount(a); values >= 0) {
            QString qtValue;
            if (values > 0 && !value(qtValue))
                return parsed;
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
        "  --quit-after MS    quit after MS milliseconds\n"
        "Qt's own options (-platform NAME, -style NAME, -reverse ...) are taken as well.\n");
}

} // namespace rv
