// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <functional>
#include <thread>

namespace carteva {

// Starts the helper threads of a load. Tests derive from it to make starting fail; whatever
// Start throws, the load goes on without that thread.
class ThreadStarter
{
public:
    enum class Role { ReadAhead, Builder };

    virtual ~ThreadStarter() = default;
    virtual std::thread Start(Role, std::function<void()> body) { return std::thread(std::move(body)); }
};

} // namespace carteva
