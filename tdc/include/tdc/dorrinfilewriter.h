#pragma once
// Writes time tags to raw files, binary or CSV (docs/file-formats.md), optionally split into
// a numbered series by size or by time. Each file of a series stands on its own, with its own
// header; no tag is lost or repeated across a split. Once the maximum file count is reached or
// a write fails (disk full, size limit, folder removed), the writer stops: it logs the reason,
// keeps what it wrote readable and counts every further tag as lost.
//
// Ownership: the caller owns the writer; the module passed in only lends its description and
// need not outlive the constructor. Threads: write(), flush() and the destructor from one
// thread at a time (normally the capture callback); the counters may be read from any thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

class TDC_EXPORT Dorrin::file_writer {
public:
    // Monotonic time for splitting by time; an empty function takes the steady clock.
    using Clock = std::function<std::chrono::nanoseconds()>;

    enum : int { binary = 0, csv = 1 };

    // What the file headers say about the tags.
    struct description {
        double tagUnit = 1e-12;
        std::uint32_t channels = 64;
        std::string settingsJson = "{}";
    };

    // `path` may hold "{:d}", replaced by the file's number in the series (the first is 0).
    // `format` is binary or csv. `syncEachBlock` makes every block durable before the next.
    // `maxFiles` 0 allows any number; `splitBytes` 0 and `splitPeriod` 0 do not split.
    file_writer(std::string path, int format, bool syncEachBlock, const Dorrin *module, std::uint16_t maxFiles,
                std::uint64_t splitBytes, std::chrono::seconds splitPeriod, Clock clock);
    file_writer(std::string path, int format, bool syncEachBlock, const description &d, std::uint16_t maxFiles,
                std::uint64_t splitBytes, std::chrono::seconds splitPeriod, Clock clock);
    // Writes what is buffered and closes the file.
    ~file_writer();
    file_writer(const file_writer &) = delete;
    file_writer &operator=(const file_writer &) = delete;

    // Inside a Dorrin callback, the losses reported before the batch are written first, as
    // overflow markers.
    void write(const std::vector<measurement> &batch);
    void write(const measurement *tags, std::size_t count);
    void mark(const loss &l);
    // Puts everything buffered into the file, and waits until it is there.
    void flush();

    // The reason the writer stopped, or no error.
    std::error_code error() const;
    bool stopped() const { return stopped_.load(); }
    std::uint64_t bytes_written() const { return bytes_.load(); }
    std::uint64_t tags_written() const { return tags_.load(); }
    // Tags handed to a stopped writer, or in a block its disk refused.
    std::uint64_t lost_events() const { return lost_.load(); }
    // The files opened so far, in order.
    std::vector<std::string> files() const;

    // The name of file `number` for `path`.
    static std::string fileName(const std::string &path, std::uint32_t number, bool numbered);

private:
    bool openNext();
    bool postBytes(const void *data, std::size_t size);
    void postBuffered();
    void closeFile();
    void appendTags(const measurement *tags, std::size_t count);
    void finishBlock();
    void flushText();
    void writeCsv(const measurement *tags, std::size_t count);
    void stop(std::error_code ec, const std::string &why);
    void halt(std::error_code ec, const std::string &why);

    struct Impl;
    std::unique_ptr<Impl> d_;
    std::atomic<bool> stopped_{false};
    std::atomic<std::uint64_t> bytes_{0};
    std::atomic<std::uint64_t> tags_{0};
    std::atomic<std::uint64_t> lost_{0};
};
