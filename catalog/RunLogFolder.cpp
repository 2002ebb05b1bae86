#include "catalog/RunLogFolder.h"

#include "platform/Paths.h"

namespace quillon {

std::string runLogFolder(bool create) {
    const std::string state = platform::userStateDirectory(create);
    return platform::joinPath(state, "quillon");
}

} // namespace quillon
