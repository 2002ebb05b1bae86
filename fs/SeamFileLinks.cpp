#include "fs/Seams.h"

namespace quillon::seams {

bool fileLinksAllowed(nlink_t links) { return links == 1; }

} // namespace quillon::seams
