#pragma once
// Private state of the library class. Kept at one address for the object's lifetime (moves
// of a vetra object move the pointer), so the link error handler installed in the packet
// engine can refer to it directly.

#include <vetra/vetra.h>

#include "callback_guard.h"
#include "mme/mme.h"
#include "pte/pte.h"

#include <atomic>
#include <memory>

struct vetra::impl {
    explicit impl(error_callback callback) : guard(std::move(callback)) {}

    // Called by the packet engine on the transport's thread.
    void onLinkError(const std::error_code &linkLost, std::error_code error, pte::buffer_list buffers);

    // Stops the transport's threads, then destroys the engines.
    void dropLink();

    std::unique_ptr<pte> packets;  // absent before the first open
    // The packet engine's transport (owned by it), closed before the engine goes so that no
    // transport thread is still calling into the engine while it is destroyed.
    asyncio_interface *transport = nullptr;
    std::unique_ptr<mme> memory;   // present only while open
    std::atomic<bool> open{false}; // cleared by close, moving away, or the link being lost
    device_list devices;           // filled by getDevices
    // Runs every user callback, the error callback included.
    const callback_guard guard;
};
