#include "rangeview/chart/Errors.h"

namespace rv {

EListError::EListError(std::int64_t index)
    : std::runtime_error("List index out of bounds (" + std::to_string(index) + ")"), Index_(index)
{
}

} // namespace rv
