#include "rangeview/ui/ProgramTitle.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace rv {

QString ProgramTitleFrom(const QString& executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString ProgramTitle()
{
    return ProgramTitleFrom(QCoreApplication::applicationFilePath());
}

QString ErrorReportText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

} // namespace rv
