#include "guard/OpenFiles.h"

#include "core/Texts.h"
#include "guard/ProcessTableQuery.h"

namespace quillon {

std::vector<std::string> openPaths(const RunControl* control) {
    return openPathsIn(platform::processTableRoot, control);
}

std::vector<std::string> openPathsIn(const std::string& processTable, const RunControl* control) {
    return readProcessTable(control, text::cannotVerifyOpenFiles,
                            [&] { return platform::openFilePaths(processTable); });
}

} // namespace quillon
