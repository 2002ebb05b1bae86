#include "catalog/RunLogFolder.h"

#include "platform/Paths.h"

namespace quillon {

std::string runLogFolder(bool create) {
    const std::string state = platform::userStateDirectory(create);
    return state.empty() ? std::string() : state + "/quillon";
}

} // namespace quillon
