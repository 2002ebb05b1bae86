// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "platform/Descriptor.h"

#include <dirent.h>
#include <memory>

namespace quillon::platform {

struct DirectoryStreamCloser {
    void operator()(DIR* stream) const noexcept { ::closedir(stream); }
};

// Owns one directory stream and closes it (with its descriptor) exactly once.
using DirectoryStream = std::unique_ptr<DIR, DirectoryStreamCloser>;

// Returns a stream over the open directory `directory`, which then owns the
// descriptor (left empty); on failure returns no stream and leaves
// `directory` as it was, with errno set.
inline DirectoryStream adoptStream(Descriptor& directory) {
    DirectoryStream stream(::fdopendir(directory.get()));
    if (stream) directory.release();
    return stream;
}

} // namespace quillon::platform
