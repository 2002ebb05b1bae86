#include "catalog/UserPaths.h"

#include "platform/Paths.h"

namespace quillon {

std::string homeDirectory() { return platform::homeDirectory(); }
std::string userTemp() { return platform::userTempDirectory(); }
std::string userCache() { return platform::userCacheDirectory(); }
std::string userConfig() { return platform::userConfigDirectory(); }
std::string runLogFolder(bool create) {
    const std::string state = platform::userStateDirectory(create);
    return state.empty() ? std::string() : state + "/quillon";
}
std::string sharedTemp() { return platform::sharedTempDirectory(); }

} // namespace quillon
