// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/FileOps.h"

#include <utility>

namespace carteva {

// Closes the descriptor when it goes out of scope, unless it was closed on purpose first (a close
// whose result matters, such as the last one of a written file).
class Descriptor
{
public:
    Descriptor(FileOps &ops, int fd)
        : ops_(ops)
        , fd_(fd)
    { }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor()
    {
        if (fd_ >= 0)
            ops_.Close(fd_);
    }

    int Get() const { return fd_; }
    int Close() { return ops_.Close(std::exchange(fd_, -1)); }

private:
    FileOps &ops_;
    int fd_;
};

} // namespace carteva
