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
        : m_ops(ops)
        , m_fd(fd)
    { }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor()
    {
        if (m_fd >= 0)
            m_ops.Close(m_fd);
    }

    int Get() const { return m_fd; }
    int Close() { return m_ops.Close(std::exchange(m_fd, -1)); }

private:
    FileOps &m_ops;
    int m_fd;
};

} // namespace carteva
