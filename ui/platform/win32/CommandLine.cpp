#include "rangeview/ui/ProgramOptions.h"

#include <windows.h>

#include <shellapi.h>

namespace rv {

QStringList ProgramArguments(int argc, char** argv)
{
    // argv holds the arguments in the ANSI code page; the wide command line holds them whole,
    // as QCoreApplication::arguments() reads them here.
    QStringList args;
    int count = 0;
    if (LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            args.append(QString::fromWCharArray(wide[i]));
        ::LocalFree(wide);
        return args;
    }
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    return args;
}

} // namespace rv
