#include "guard/Command.h"

#include "platform/Process.h"
#include "platform/Text.h"

namespace quillon {

CommandResult command(const std::string& path, const std::vector<std::string>& arguments, const RunControl* control) {
    // A run cancelled before the tool starts must not start it at all.
    if (control != nullptr) control->check();

    platform::ChildOutput child = platform::runChild(path, arguments);

    // The child is never interrupted: a cancellation that arrived while it
    // ran is honoured now, and its answer is not used.
    if (control != nullptr) control->check();

    CommandResult result;
    result.status = child.status;
    result.output = platform::decodeUtf8Lossy(child.bytes);
    return result;
}

} // namespace quillon
