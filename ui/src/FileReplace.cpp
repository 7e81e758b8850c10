#include "rangeview/ui/FileReplace.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <filesystem>
#include <system_error>

namespace rv {

namespace {

std::filesystem::path NativePath(const QString& path)
{
    return std::filesystem::path(path.toStdU16String());
}

// The reason a failed file operation leaves, or a plain one where Qt gives none.
QString Reason(const QFile& file, const char* otherwise)
{
    const QString reason = file.errorString();
    return reason.isEmpty() || file.error() == QFileDevice::NoError ? QString::fromUtf8(otherwise)
                                                                    : reason;
}

} // namespace

QString ReplaceFileWhole(const QString& path, const std::function<bool(QFileDevice&)>& write)
{
    const QFileInfo target(path);
    // A file of its own, made anew: never an existing file or a link someone put there.
    QFile file;
    for (int attempt = 0;; ++attempt) {
        file.setFileName(QStringLiteral("%1/.%2.%3.tmp")
                             .arg(target.absolutePath(), target.fileName(),
                                  QString::number(QRandomGenerator::global()->generate(), 36)));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            break;
        if (!file.exists() || attempt >= 100)
            return Reason(file, "cannot create a file there");
    }
    // A file replaced keeps its permissions.
    if (target.isFile() && !target.isSymLink())
        file.setPermissions(target.permissions());

    // Closing forgets a failed write: its reason is taken before.
    QString failure;
    if (!write(file) || !file.flush())
        failure = Reason(file, "the data could not be made");
    file.close();
    if (failure.isEmpty() && file.error() != QFileDevice::NoError)
        failure = file.errorString();
    if (!failure.isEmpty()) {
        file.remove();
        return failure;
    }
    std::error_code error;
    std::filesystem::rename(NativePath(file.fileName()), NativePath(path), error);
    if (error) {
        file.remove();
        return QString::fromLocal8Bit(error.message());
    }
    return {};
}

} // namespace rv
