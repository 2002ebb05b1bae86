#include "catalog/UserPaths.h"

#include "platform/Paths.h"

namespace quillon {

std::string homeDirectory() { return platform::homeDirectory(); }
std::string userTemp() { return platform::userTempDirectory(); }
std::string userCache() { return platform::userCacheDirectory(); }
std::string sharedTemp() { return platform::sharedTempDirectory(); }

} // namespace quillon
