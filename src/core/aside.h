#pragma once

#include "core/uiservices.h"

#include <chrono>
#include <exception>
#include <future>
#include <utility>

namespace zd {

/// Runs \a work on a thread of its own while the window goes on in its event
/// loop, for calls that block as long as a disk likes (a final sync, a
/// rename); its result, or its exception rethrown here. \a work must not
/// touch anything the window's thread changes meanwhile.
template<class Work>
auto runAside(UiServices &ui, Work &&work)
{
    auto done = std::async(std::launch::async, std::forward<Work>(work));
    try {
        // The window answers at least once, however soon the work is done.
        ui.pumpEvents();
        while (done.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            ui.idle(5);
    } catch (...) {
        // A stop unwinds the caller: the work still owns what it was given.
        done.wait();
        throw;
    }
    return done.get();
}

} // namespace zd
