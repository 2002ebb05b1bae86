#include "engine/Seams.h"

namespace quillon::seams {

bool cancelledBeforeStart(const RunControl* control) { return control && control->isCancelled(); }

} // namespace quillon::seams
