#pragma once

#include "catalog/Candidate.h"
#include "catalog/UserPaths.h"

#include <string>
#include <vector>

namespace quillon {

// The name patterns of log files and crash reports (ICU syntax).
inline constexpr const char* logPattern = "(?i)\\.log(?:\\.[0-9]+)?(?:\\.gz)?$";
inline constexpr const char* crashReportPattern = "(?i)\\.(?:ips|crash|hang|spin|panic)(?:\\.gz)?$";

// Returns every cleaning location, in catalogue order and de-duplicated by
// path (the first row of a path wins). Reads a few directory listings to
// expand per-project, per-version and per-profile rows; never fails and
// never tests whether a location exists.
std::vector<Candidate> candidates(const std::string& home = homeDirectory(), const std::string& temp = userTemp(),
                                  const std::string& cache = userCache(),
                                  const std::string& sharedTemp = quillon::sharedTemp());

} // namespace quillon
