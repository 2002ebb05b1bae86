#include "fs/Seams.h"

namespace quillon::seams {

void beforeDirectoryRemoval(int, const std::string&) {}

} // namespace quillon::seams
