#include "rangeview/ui/ProgramOptions.h"

namespace rv {

QStringList ProgramArguments(int argc, char** argv)
{
    // As QCoreApplication::arguments() reads them here.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    return args;
}

} // namespace rv
