#pragma once

#include <QString>
#include <QStringList>

namespace rv {

// The window program's command line (for the demo, tests and a preset port; the window itself
// takes every setting from its controls).
struct ProgramOptions {
    QString Port; // --port NAME: the text of the port list at start
    QString Screenshot; // --screenshot PATH: write the window to PATH, then quit
    int QuitAfterMs = -1; // --quit-after MS: quit (or take the screenshot) after MS
    bool Demo = false; // --demo: open the port and switch echo and waveform on at start
    bool Help = false; // --help
};

// The outcome of parsing the window program's command line, for its entry point.
struct ParsedOptions {
    ProgramOptions Options;
    QString Error; // empty when the command line was accepted
};

// args as QCoreApplication::arguments() gives them (the program first, Qt's own options
// already taken out). An unknown option, a missing value or a value that is not what the option
// takes is an error; nothing is guessed.
ParsedOptions ParseProgramOptions(const QStringList& args);

// What --help prints.
QString ProgramUsage();

// Whether the C runtime's descriptor fd (1, 2) is a terminal or console someone reads. A window
// program started from a desktop menu, or on Windows at all, has none: what it prints there is
// never seen. One definition per system, under platform/.
bool IsTerminal(int fd);

} // namespace rv
