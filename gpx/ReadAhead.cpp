// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/ReadAhead.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace carteva {

ReadAhead::ReadAhead(FileOps &ops, int fd, ThreadStarter &threads,
                     const std::atomic<bool> *cancel)
    : ops_(ops)
    , fd_(fd)
    , cancel_(cancel)
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
    chunk.last = false;
    while (chunk.size < ChunkSize) {
        // A slow medium would keep a cancelled load waiting for a whole chunk.
        if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) {
            chunk.last = true;
            return;
        }
        const ssize_t got = ops_.Read(fd_, chunk.data.get() + chunk.size, ChunkSize - chunk.size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            chunk.error = got < 0 ? errno : 0;
            chunk.last = true;
            return;
        }
        chunk.size += static_cast<std::size_t>(got);
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
