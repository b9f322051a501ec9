// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

namespace carteva {

// Reads a file a few chunks ahead of its reader, on a thread of its own: the system copies the
// bytes on another core while the parser works, and the parser's thread only copies them from
// memory. When no thread can be started, each chunk is read when it is needed.
class ReadAhead
{
public:
    // Reads `fd` from its current position; the descriptor must outlive this object.
    explicit ReadAhead(int fd);
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // The next bytes of the file, up to `length`; 0 at its end, or after a read error, which
    // Error then gives as an errno value. From one thread only.
    std::size_t Read(char *buffer, std::size_t length);
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
    void Fill(Chunk &chunk) const noexcept;
    // The chunk to read from next: waits for the thread to fill it (or fills it here).
    bool NextChunk();
    void Run() noexcept;

    int fd_;
    std::array<Chunk, ChunkCount> chunks_;

    // The reader's thread only.
    std::size_t reading_ = 0; // the chunk being read from
    std::size_t offset_ = 0; // in it
    bool holding_ = false; // reading_ is filled and not yet handed back
    bool ended_ = false;
    int error_ = 0;

    std::mutex mutex_;
    std::condition_variable filled_;
    std::condition_variable freed_;
    std::size_t ready_ = 0; // guarded: chunks filled and not yet handed back, in ring order
    bool stop_ = false; // guarded
    std::thread thread_;
};

} // namespace carteva
