#pragma once
// The packet engine's outgoing side: encoded packets waiting for the transport, in order, one
// write at a time, with the byte blocks of written packets kept for reuse so that a steady
// stream of packets allocates nothing on either thread.
//
// Threads: `take` and `push` from any sending thread, `pop` from the transport's write
// completion; every member takes the one queue mutex briefly and never calls out while
// holding it.

#include <asio/buffer.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

class send_queue {
public:
    using completion_handler = std::function<void(std::error_code error, std::size_t bytes)>;

    // Encoded bytes of one packet.
    struct block {
        std::unique_ptr<std::uint8_t[]> data;
        std::size_t capacity = 0;
        std::size_t size = 0;
    };

    // A written packet taken off the queue: its completion, and the packet to write next.
    struct popped {
        completion_handler done;
        bool more = false;
        asio::const_buffer next;
    };

    // A block of at least `capacity` bytes, a spare one when it is big enough.
    block take(std::size_t capacity);

    // Queues `bytes`; true when the queue was empty, in which case the caller starts writing
    // `first` (the block's bytes stay put until their own write has completed).
    bool push(block bytes, completion_handler done, asio::const_buffer &first);

    // Takes the front packet off after its write completed; its block goes back to the spares.
    popped pop();

    std::size_t spare_count();

private:
    // Called with the mutex held; true when the block has moved to the spares.
    bool keep_spare(block &bytes);

    struct entry {
        block bytes;
        completion_handler done;
    };

    std::mutex mutex_;
    // A ring (head index and count over a vector that only grows), so that once it has grown
    // to the usual queue depth, queueing and popping never allocate or free under the mutex.
    std::vector<entry> ring_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    std::vector<block> spare_;
    std::size_t spare_bytes_ = 0;
};
