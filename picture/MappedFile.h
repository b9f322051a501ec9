// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QtGlobal>

#include <atomic>

namespace carteva {

// Memory that pages itself in as it is read: a file mapped read-only, or zeroed writable memory of
// the system's (no file).
//
// A page of a file that has been shortened since it was mapped cannot be read: the system raises
// SIGBUS. A handler catches that for the mapped range, puts a zeroed page in place of the missing
// one and notes it, so that readers can report the loss instead of the program crashing.
class MappedFile
{
public:
    // Maps `size` bytes of the open file `fd` (from its start), or zeroed memory when fd is -1.
    // Throws std::system_error when the address space has no room.
    MappedFile(int fd, qint64 size);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    uchar *Data() const { return data_; }
    qint64 Size() const { return size_; }
    // Whether a page was found missing from the file since it was mapped; those read as zeros.
    bool Shortened() const;

private:
    uchar *data_ = nullptr;
    qint64 size_ = 0;
    int guard_ = -1; // the bus-error guard's slot for this range; -1 for zeroed memory
};

} // namespace carteva
