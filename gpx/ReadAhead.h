// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/FileOps.h"
#include "gpx/ThreadStarter.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <semaphore>
#include <thread>

namespace carteva {

// Reads a file a few chunks ahead of its reader, on a thread of its own: the system copies the
// bytes on another core while the parser works. When no thread can be started, each chunk is
// read when it is needed.
class ReadAhead
{
public:
    // Reads `fd` from its current position with `ops`; both must outlive this object. Once
    // `cancel` is set, the file ends for the reader at the next read.
    ReadAhead(FileOps &ops, int fd, ThreadStarter &threads,
              const std::atomic<bool> *cancel = nullptr);
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // The next bytes of the file, up to `length`; 0 at its end, or after a read error, which
    // Error then gives as an errno value. From one thread only.
    std::size_t Read(char *buffer, std::size_t length) noexcept;
    int Error() const { return error_; }

private:
    static constexpr std::size_t ChunkSize = std::size_t(1) << 20;
    static constexpr std::size_t ChunkCount = 4;

    struct Chunk
    {
        std::unique_ptr<char[]> data;
        std::size_t size = 0;
        int error = 0;
        bool last = false; // the end of the file, or an error, follows its bytes
    };

    // Reads until the chunk is full, the file ends or reading fails.
    void Fill(Chunk &chunk) noexcept;
    // Moves on to the next chunk: waits for the thread to fill it (or fills it here).
    bool NextChunk() noexcept;
    void Run() noexcept;

    FileOps &ops_;
    int fd_;
    const std::atomic<bool> *cancel_;
    std::array<Chunk, ChunkCount> chunks_;

    // The reader's side.
    std::size_t reading_ = 0; // the chunk being read from
    std::size_t offset_ = 0; // in it
    bool holding_ = false; // reading_ is filled and not yet handed back
    bool ended_ = false;
    int error_ = 0;

    // Chunks the thread may fill, and chunks filled for the reader, in ring order.
    std::counting_semaphore<> free_ {ChunkCount};
    std::counting_semaphore<> filled_ {0};
    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

} // namespace carteva
