// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/ReadAhead.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace carteva {

ReadAhead::ReadAhead(FileOps &ops, int fd, ThreadStarter &threads, std::size_t attributeLimit)
    : ops_(ops)
    , fd_(fd)
    , scanner_(attributeLimit)
{
    for (Chunk &chunk : chunks_)
        chunk.data = std::make_unique_for_overwrite<char[]>(ChunkSize); // filled by reading
    try {
        thread_ = threads.Start(ThreadStarter::Role::ReadAhead, [this] { Run(); });
    } catch (...) {
        // Read on demand, then.
    }
}

ReadAhead::~ReadAhead()
{
    stop_ = true;
    free_.release(); // wakes the thread if it waits for room
    if (thread_.joinable())
        thread_.join();
}

void ReadAhead::Fill(Chunk &chunk) noexcept
{
    chunk.size = 0;
    chunk.error = 0;
    chunk.last = chunk.refused = false;
    while (chunk.size < ChunkSize) {
        const ssize_t got = ops_.Read(fd_, chunk.data.get() + chunk.size, ChunkSize - chunk.size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            chunk.error = got < 0 ? errno : 0;
            chunk.last = true;
            break;
        }
        chunk.size += static_cast<std::size_t>(got);
    }
    chunk.size = scanner_.Scan(chunk.data.get(), chunk.size);
    if (scanner_.Exceeded()) {
        chunk.refused = chunk.last = true;
        chunk.error = 0;
    }
}

void ReadAhead::Run() noexcept
{
    for (std::size_t filling = 0;; filling = (filling + 1) % ChunkCount) {
        free_.acquire();
        if (stop_)
            return;
        // Not handed to the reader yet, so the reader is not in it.
        Fill(chunks_[filling]);
        const bool last = chunks_[filling].last;
        filled_.release();
        if (last)
            return;
    }
}

bool ReadAhead::NextChunk() noexcept
{
    const bool threaded = thread_.joinable();
    if (holding_) {
        if (chunks_[reading_].last) {
            error_ = chunks_[reading_].error;
            refused_ = chunks_[reading_].refused;
            ended_ = true;
            return false;
        }
        if (threaded)
            free_.release();
        reading_ = (reading_ + 1) % ChunkCount;
        holding_ = false;
    }
    if (threaded)
        filled_.acquire();
    else
        Fill(chunks_[reading_]);
    holding_ = true;
    offset_ = 0;
    return true;
}

std::size_t ReadAhead::Read(char *buffer, std::size_t length) noexcept
{
    std::size_t copied = 0;
    while (copied < length && !ended_) {
        if (!holding_ || offset_ == chunks_[reading_].size) {
            if (!NextChunk())
                break;
            continue;
        }
        const Chunk &chunk = chunks_[reading_];
        const std::size_t n = std::min(length - copied, chunk.size - offset_);
        std::memcpy(buffer + copied, chunk.data.get() + offset_, n);
        offset_ += n;
        copied += n;
    }
    return copied;
}

} // namespace carteva
