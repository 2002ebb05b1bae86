#include "platform/PlatformError.h"

#include <cstring>

namespace quillon::platform {

std::string errorText(int errorNumber) { return std::strerror(errorNumber); }

} // namespace quillon::platform
