#pragma once

// A child process that holds files and a folder of a trial open, as another
// program of the user would, until it is destroyed.

#include "platform/Descriptor.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace quillon::harness {

struct HeldFile {
    std::string path;
    bool mapped = false; // held through a mapping of its contents, its descriptor closed (unless it is empty)
};

class Holder {
public:
    // Starts the child and returns once it holds every file (on a descriptor
    // or through a mapping) and `folder` (on a descriptor and as its working
    // directory). Throws std::runtime_error when it cannot hold them all.
    Holder(const std::vector<HeldFile>& files, const std::string& folder);
    // Lets the child end and reaps it.
    ~Holder();
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;

private:
    void end();

    pid_t pid_ = -1;
    platform::Descriptor stop_; // the child ends when its end of this pipe sees end of file
};

} // namespace quillon::harness
