#include "FileSizeLimit.h"

namespace rv {

// Windows has no file-size limit of a process: a write fails only for want of room.
FileSizeLimitAsError::FileSizeLimitAsError() = default;
FileSizeLimitAsError::~FileSizeLimitAsError() = default;

} // namespace rv
