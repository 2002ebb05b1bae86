#include "scan/Seams.h"

namespace quillon::seams {

double planningCutoff(double now, double age) { return now - age; }

} // namespace quillon::seams
