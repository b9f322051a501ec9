// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/ReadAhead.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <unistd.h>

namespace carteva {

ReadAhead::ReadAhead(int fd)
    : fd_(fd)
{
    for (Chunk &chunk : chunks_)
        chunk.data = std::make_unique_for_overwrite<char[]>(ChunkSize); // filled by reading
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error &) {
        // Read on demand, then.
    }
}

ReadAhead::~ReadAhead()
{
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    freed_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

void ReadAhead::Fill(Chunk &chunk) const noexcept
{
    chunk.size = 0;
    chunk.error = 0;
    chunk.last = false;
    while (chunk.size < ChunkSize) {
        const ssize_t got = ::read(fd_, chunk.data.get() + chunk.size, ChunkSize - chunk.size);
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
        {
            std::unique_lock lock(mutex_);
            freed_.wait(lock, [this] { return ready_ < ChunkCount || stop_; });
            if (stop_)
                return;
        }
        // Not among the ready ones, so the reader is not in it.
        Chunk &chunk = chunks_[filling];
        Fill(chunk);
        {
            const std::lock_guard lock(mutex_);
            ++ready_;
        }
        filled_.notify_one();
        if (chunk.last)
            return;
    }
}

bool ReadAhead::NextChunk()
{
    if (holding_) {
        if (chunks_[reading_].last) {
            error_ = chunks_[reading_].error;
            ended_ = true;
            return false;
        }
        if (thread_.joinable()) {
            {
                const std::lock_guard lock(mutex_);
                --ready_;
            }
            freed_.notify_one();
        }
        reading_ = (reading_ + 1) % ChunkCount;
        holding_ = false;
    }
    if (thread_.joinable()) {
        std::unique_lock lock(mutex_);
        filled_.wait(lock, [this] { return ready_ > 0; });
    } else {
        Fill(chunks_[reading_]);
    }
    holding_ = true;
    offset_ = 0;
    return true;
}

std::size_t ReadAhead::Read(char *buffer, std::size_t length)
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
