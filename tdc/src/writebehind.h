#pragma once
// The raw file writer's disk side: chunks of encoded bytes are written to their files, in the
// order posted, by a thread of its own, so the thread that decodes and encodes tags never
// waits for the disk; the two overlap. A few chunks circulate: take() hands out a free one
// (waiting while all are on their way to the disk, which is the writer's back-pressure) and
// post() queues it with the file it belongs to. The disk thread also starts the disk's
// writeback a few megabytes behind the end of the file, so a long recording streams to the disk
// instead of filling the page cache.
//
// The first write that fails, or a file found removed after a write, ends all writing: the
// failure is reported once through the `failed` function (on the disk thread), and every chunk
// posted after it is dropped, its tags counted as lost. Files are closed on the disk thread
// after their last chunk (postClose()).
//
// Threads: take(), post(), postClose(), drain() and the destructor from one thread at a time;
// the counters are updated on the disk thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

class WriteBehind {
public:
    struct Chunk {
        std::unique_ptr<std::uint8_t[]> bytes; // never zero-filled: only `size` bytes are written
        std::size_t room = 0;
        std::size_t size = 0;
        std::uint64_t tags = 0; // tags held by the chunk, counted written or lost with it

        std::uint8_t *data() { return bytes.get(); }
        // Room for at least `n` bytes; the content is not kept.
        void reserve(std::size_t n);
    };

    struct Counters {
        std::atomic<std::uint64_t> &bytes;
        std::atomic<std::uint64_t> &tags;
        std::atomic<std::uint64_t> &lost;
    };
    using Failed = std::function<void(std::error_code, const std::string &why)>;

    // `chunks` circulate, each with room for `chunkBytes`.
    WriteBehind(std::size_t chunks, std::size_t chunkBytes, Counters counters, Failed failed);
    // Writes what was posted, closes the files and ends the thread.
    ~WriteBehind();
    WriteBehind(const WriteBehind &) = delete;
    WriteBehind &operator=(const WriteBehind &) = delete;

    // A free chunk, empty, with room for at least `bytes`.
    Chunk take(std::size_t bytes);
    // Writes the chunk to `fd` (named `name` in messages); `sync` makes it durable first.
    void post(Chunk chunk, int fd, std::shared_ptr<const std::string> name, bool sync);
    // Closes `fd` once everything posted before is written.
    void postClose(int fd);
    // Waits until everything posted is written (or dropped after a failure).
    void drain();
    // True once a write has failed; later chunks are dropped.
    bool failed() const { return failed_.load(std::memory_order_acquire); }

private:
    struct Job {
        Chunk chunk;
        int fd = -1;
        bool close = false;
        bool sync = false;
        std::shared_ptr<const std::string> name;
    };
    void run();
    void write(Job &job);
    void fail(std::error_code ec, const std::string &why);
    void startWriteback(int fd, std::size_t appended);

    Counters counters_;
    Failed onFailed_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    std::vector<Chunk> free_;
    std::size_t busy_ = 0; // jobs taken off the queue and not yet done
    bool ending_ = false;
    std::atomic<bool> failed_{false};
    // disk thread only: the file being written back and how far
    int writebackFd_ = -1;
    std::uint64_t fileEnd_ = 0;
    std::uint64_t writebackFrom_ = 0;
    std::thread thread_;
};
