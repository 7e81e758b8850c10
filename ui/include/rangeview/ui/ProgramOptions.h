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

// args as the program was started (the program first), read before the application object
// exists: --help and a bad command line need no display. Qt's own options (-platform NAME,
// -style NAME, -reverse ...) are passed over with their values, for the application object
// takes them. An unknown option, a missing value or a value that is not what the option takes
// is an error; nothing is guessed.
ParsedOptions ParseProgramOptions(const QStringList& args);

// What --help prints.
QString ProgramUsage();

// The program's arguments as the system gave them, the program first, before any application
// object exists. One definition per system, under platform/.
QStringList ProgramArguments(int argc, char** argv);

// Whether text written to the C runtime's descriptor fd (1, 2) goes where nobody reads it while
// a desktop is there to show it in a box instead: on Windows a program without a standard
// handle for it (started from Explorer or a shortcut), on Linux one without a controlling
// terminal whose stream is neither a file nor a pipe (a desktop launcher). A terminal, a file or
// a pipe is read by someone or something: there the text is only printed. One definition per
// system, under platform/.
bool TextGoesUnseen(int fd);

} // namespace rv
