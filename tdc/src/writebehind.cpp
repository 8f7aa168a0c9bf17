#include "writebehind.h"

#include <cerrno>
#include <cstring>

#include <csignal>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

void WriteBehind::Chunk::reserve(std::size_t n)
{
    if (n > room) {
        bytes.reset(new std::uint8_t[n]);
        room = n;
    }
    size = 0;
    tags = 0;
}

WriteBehind::WriteBehind(std::size_t chunks, std::size_t chunkBytes, Counters counters, Failed failed)
    : counters_(counters), onFailed_(std::move(failed))
{
    free_.resize(chunks == 0 ? 1 : chunks);
    for (auto &c : free_)
        c.reserve(chunkBytes);
    thread_ = std::thread([this] { run(); });
}

WriteBehind::~WriteBehind()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

WriteBehind::Chunk WriteBehind::take(std::size_t bytes)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !free_.empty(); });
    Chunk c = std::move(free_.back());
    free_.pop_back();
    lock.unlock();
    c.reserve(bytes);
    return c;
}

void WriteBehind::post(Chunk chunk, int fd, std::shared_ptr<const std::string> name, bool sync)
{
    Job job;
    job.chunk = std::move(chunk);
    job.fd = fd;
    job.sync = sync;
    job.name = std::move(name);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    changed_.notify_all();
}

void WriteBehind::postClose(int fd)
{
    if (fd < 0)
        return;
    Job job;
    job.fd = fd;
    job.close = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    changed_.notify_all();
}

void WriteBehind::drain()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return jobs_.empty() && busy_ == 0; });
}

void WriteBehind::run()
{
    // A write beyond the file size limit would kill the whole program with SIGXFSZ; blocked
    // here, it fails with EFBIG instead and stops the writer like any other failed write.
    sigset_t fileSizeLimit;
    sigemptyset(&fileSizeLimit);
    sigaddset(&fileSizeLimit, SIGXFSZ);
    pthread_sigmask(SIG_BLOCK, &fileSizeLimit, nullptr);

    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return ending_ || !jobs_.empty(); });
        if (jobs_.empty())
            return; // ending, and everything posted is done
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        ++busy_;
        lock.unlock();
        if (job.close) {
            ::close(job.fd);
            if (job.fd == writebackFd_)
                writebackFd_ = -1; // the number may come back for the next file
        }
        else
            write(job);
        lock.lock();
        --busy_;
        if (!job.close)
            free_.push_back(std::move(job.chunk));
        changed_.notify_all();
    }
}

void WriteBehind::write(Job &job)
{
    Chunk &c = job.chunk;
    if (failed()) {
        counters_.lost.fetch_add(c.tags, std::memory_order_relaxed);
        return;
    }
    const auto *p = c.data();
    std::size_t left = c.size;
    while (left > 0) {
        const ssize_t n = ::write(job.fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int e = errno;
            counters_.lost.fetch_add(c.tags, std::memory_order_relaxed);
            fail(std::error_code(e, std::generic_category()), "cannot write " + *job.name + ": " + std::strerror(e));
            return;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
        counters_.bytes.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
    }
    // A file whose folder was removed still takes writes, into an inode nobody can reach:
    // that is a failure, not a success.
    struct stat st{};
    if (::fstat(job.fd, &st) == 0 && st.st_nlink == 0) {
        counters_.lost.fetch_add(c.tags, std::memory_order_relaxed);
        fail(std::make_error_code(std::errc::no_such_file_or_directory),
             *job.name + " was removed while it was being written");
        return;
    }
    if (!job.sync)
        startWriteback(job.fd, c.size);
    if (job.sync && ::fdatasync(job.fd) != 0 && errno != EINVAL) {
        const int e = errno;
        counters_.lost.fetch_add(c.tags, std::memory_order_relaxed);
        fail(std::error_code(e, std::generic_category()), "cannot write " + *job.name + ": " + std::strerror(e));
        return;
    }
    counters_.tags.fetch_add(c.tags, std::memory_order_relaxed);
}

// Hands the bytes to the disk as they come rather than when the page cache is full: a long
// recording then streams at the disk's pace instead of piling up gigabytes of dirty pages that
// stall every writer on the machine when they are flushed at once. Writeback stays a little
// behind the end of the file, so that no page the next write fills is already on its way to
// the disk (which would make that write wait for it), and goes a few megabytes at a time.
void WriteBehind::startWriteback(int fd, std::size_t appended)
{
    constexpr std::uint64_t behind = 4u << 20;
    constexpr std::uint64_t step = 4u << 20;
    constexpr std::uint64_t page = 4096;
    if (fd != writebackFd_) {
        writebackFd_ = fd;
        fileEnd_ = 0;
        writebackFrom_ = 0;
    }
    fileEnd_ += appended;
    const std::uint64_t to = fileEnd_ > behind ? (fileEnd_ - behind) & ~(page - 1) : 0;
    if (to >= writebackFrom_ + step) {
        ::sync_file_range(fd, static_cast<off64_t>(writebackFrom_), static_cast<off64_t>(to - writebackFrom_),
                          SYNC_FILE_RANGE_WRITE);
        writebackFrom_ = to;
    }
}

void WriteBehind::fail(std::error_code ec, const std::string &why)
{
    failed_.store(true, std::memory_order_release);
    if (onFailed_)
        onFailed_(ec, why);
}
