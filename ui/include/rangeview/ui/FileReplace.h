#pragma once

#include <QString>

#include <functional>

class QFileDevice;

namespace rv {

// Writes the file at path whole or not at all: write fills a new file beside path, which then
// takes path's place in one step. What was at path stays as it was until the new file is
// complete; a symbolic link at path is replaced, not followed. Returns the system's reason when
// the file could not be written, an empty text when it was.
QString ReplaceFileWhole(const QString& path, const std::function<bool(QFileDevice&)>& write);

} // namespace rv
