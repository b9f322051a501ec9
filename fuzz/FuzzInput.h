// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace carteva::fuzz {

// The fuzzer's bytes as UTF-16 text. An odd first byte reads the rest as little-endian code
// units, so that any unit can appear; otherwise each byte is one unit, which keeps the mutations
// of ASCII number text short.
inline std::u16string TextFromBytes(const std::uint8_t *data, std::size_t size)
{
    std::u16string text;
    if (size == 0)
        return text;
    if (data[0] & 1) {
        for (std::size_t i = 1; i + 1 < size; i += 2)
            text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    } else {
        text.assign(data + 1, data + size);
    }
    return text;
}

// A file of this process in shared memory (no disk traffic), rewritten with each input.
inline std::string WriteInputFile(const char *extension, const std::uint8_t *data, std::size_t size)
{
    const std::string path
        = "/dev/shm/carteva-fuzz-" + std::to_string(::getpid()) + "." + extension;
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
    return path;
}

// Stops the run with a message: libFuzzer saves the input that broke an invariant.
[[noreturn]] inline void Broken(const char *what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

} // namespace carteva::fuzz
