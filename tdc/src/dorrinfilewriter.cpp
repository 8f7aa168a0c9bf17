#include "tdc/dorrin.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "log.h"
#include "tdc/rawformat.h"
#include "writebehind.h"

namespace {

constexpr std::size_t blockTags = 65536;
constexpr std::size_t csvFlushBytes = 1u << 20;
// A block waits at most this long for more tags, so a slow stream still reaches the disk.
constexpr std::chrono::seconds blockAge(1);
constexpr const char *placeholder = "{:d}";
// Chunks on their way to the disk: enough that encoding goes on while the disk thread waits for
// the disk to take a few megabytes (a binary block is about 160 kB at 80 M tags/s, a CSV chunk
// 1 MB).
constexpr std::size_t binaryDiskChunks = 32;
constexpr std::size_t csvDiskChunks = 8;

} // namespace

struct Dorrin::file_writer::Impl {
    std::string path;
    int format = binary;
    bool sync = false;
    description desc;
    std::uint16_t maxFiles = 0;
    std::uint64_t splitBytes = 0;
    std::chrono::nanoseconds splitPeriod{0};
    Clock clock;
    bool numbered = false;

    int fd = -1;
    std::shared_ptr<const std::string> fileName; // the open file's, for messages
    std::uint32_t fileCount = 0;
    std::uint64_t fileBytes = 0;
    std::uint64_t headerBytes = 0;
    std::chrono::nanoseconds fileStart{0};
    std::chrono::nanoseconds blockStart{0};
    std::mutex errorMutex; // the disk thread may stop the writer too
    std::error_code error;

    std::vector<measurement> pending; // binary: the block being filled
    std::vector<loss> markers;        // binary: markers of that block
    std::unique_ptr<WriteBehind> disk;
    WriteBehind::Chunk block; // binary: the encoded block, until it is posted

    void encode(const measurement *tags, std::size_t count, const loss *markers, std::size_t markerCount)
    {
        const std::size_t need = tdcraw::maxBlockBytes(count, markerCount);
        if (!block.bytes)
            block = disk->take(need);
        else
            block.reserve(need);
        block.size = tdcraw::encodeBlock(tags, count, markers, markerCount, block.data(), channelBits);
    }
    std::uint8_t channelBits = 0; // the last block's: the next one most likely needs the same
    WriteBehind::Chunk text;      // CSV: rows not yet posted; `size` bytes used, `tags` rows

    char *textData()
    {
        if (!text.bytes)
            text = disk->take(textBytes());
        return reinterpret_cast<char *>(text.data());
    }
    static std::size_t textBytes() { return csvFlushBytes + blockTags * tdcraw::maxCsvRowBytes; }

    // Hands the chunk to the disk thread for the open file; false (the chunk stays) once the
    // writer has stopped.
    bool post(WriteBehind::Chunk &chunk, const std::atomic<bool> &stopped)
    {
        if (stopped || fd < 0)
            return false;
        fileBytes += chunk.size;
        disk->post(std::move(chunk), fd, fileName, sync);
        chunk = WriteBehind::Chunk{};
        return true;
    }

    mutable std::mutex filesMutex;
    std::vector<std::string> files;
};

std::string Dorrin::file_writer::fileName(const std::string &path, std::uint32_t number, bool numbered)
{
    const auto at = path.find(placeholder);
    if (at != std::string::npos)
        return path.substr(0, at) + std::to_string(number) + path.substr(at + std::strlen(placeholder));
    if (!numbered)
        return path;
    // A series without a place for its number gets it before the extension, so that the files
    // never overwrite each other.
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + std::to_string(number);
    return path.substr(0, dot) + std::to_string(number) + path.substr(dot);
}

Dorrin::file_writer::file_writer(std::string path, int format, bool syncEachBlock, const Dorrin *module,
                                 std::uint16_t maxFiles, std::uint64_t splitBytes, std::chrono::seconds splitPeriod,
                                 Clock clock)
    : file_writer(std::move(path), format, syncEachBlock,
                  module ? description{module->tagUnit(), module->numChannels(), module->settingsJson()}
                         : description{},
                  maxFiles, splitBytes, splitPeriod, std::move(clock))
{
}

Dorrin::file_writer::file_writer(std::string path, int format, bool syncEachBlock, const description &desc,
                                 std::uint16_t maxFiles, std::uint64_t splitBytes, std::chrono::seconds splitPeriod,
                                 Clock clock)
    : d_(std::make_unique<Impl>())
{
    d_->path = std::move(path);
    d_->format = format == csv ? csv : binary;
    d_->sync = syncEachBlock;
    d_->desc = desc;
    d_->maxFiles = maxFiles;
    d_->splitBytes = splitBytes;
    d_->splitPeriod = splitPeriod.count() > 0 ? std::chrono::nanoseconds(splitPeriod) : std::chrono::nanoseconds(0);
    d_->clock = clock ? std::move(clock) : Clock([] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    });
    d_->numbered = maxFiles != 1 && (splitBytes > 0 || splitPeriod.count() > 0);
    if (d_->format == binary)
        d_->pending.reserve(blockTags);
    d_->disk = std::make_unique<WriteBehind>(
        d_->format == binary ? binaryDiskChunks : csvDiskChunks, d_->format == binary ? tdcraw::maxBlockBytes(blockTags, 0) : Impl::textBytes(),
        WriteBehind::Counters{bytes_, tags_, lost_},
        [this](std::error_code ec, const std::string &why) { halt(ec, why); });
    openNext();
}

Dorrin::file_writer::~file_writer()
{
    flush();
    closeFile();
    d_->disk.reset(); // writes what is left and closes the files
}

std::vector<std::string> Dorrin::file_writer::files() const
{
    std::lock_guard<std::mutex> lock(d_->filesMutex);
    return d_->files;
}

std::error_code Dorrin::file_writer::error() const
{
    std::lock_guard<std::mutex> lock(d_->errorMutex);
    return stopped_ ? d_->error : std::error_code{};
}

void Dorrin::file_writer::halt(std::error_code ec, const std::string &why)
{
    {
        std::lock_guard<std::mutex> lock(d_->errorMutex);
        if (stopped_)
            return;
        d_->error = ec;
        stopped_.store(true);
    }
    TDC_LOG(tdclog::error, "Raw file writer stopped: " << why);
}

void Dorrin::file_writer::stop(std::error_code ec, const std::string &why)
{
    halt(ec, why);
    closeFile();
}

void Dorrin::file_writer::closeFile()
{
    d_->disk->postClose(d_->fd);
    d_->fd = -1;
}

bool Dorrin::file_writer::postBytes(const void *data, std::size_t size)
{
    auto chunk = d_->disk->take(size);
    std::memcpy(chunk.data(), data, size);
    chunk.size = size;
    return d_->post(chunk, stopped_);
}

bool Dorrin::file_writer::openNext()
{
    if (stopped_)
        return false;
    closeFile();
    if (d_->maxFiles != 0 && d_->fileCount >= d_->maxFiles) {
        stop(tdcraw::rawError::maxFiles,
             "the maximum of " + std::to_string(d_->maxFiles) + " files is reached");
        return false;
    }
    const std::string name = fileName(d_->path, d_->fileCount, d_->numbered);
    d_->fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (d_->fd < 0) {
        const int e = errno;
        stop(std::error_code(e, std::generic_category()), "cannot create " + name + ": " + std::strerror(e));
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(d_->filesMutex);
        d_->files.push_back(name);
    }
    d_->fileName = std::make_shared<const std::string>(name);
    d_->fileBytes = 0;
    d_->fileStart = d_->clock();
    d_->blockStart = d_->fileStart;
    if (d_->format == binary) {
        tdcraw::FileHeader h;
        h.tagUnit = d_->desc.tagUnit;
        h.channels = d_->desc.channels;
        h.fileNumber = d_->fileCount;
        h.startTimeNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
        h.settingsJson = d_->desc.settingsJson;
        const auto header = tdcraw::encodeHeader(h);
        ++d_->fileCount;
        if (!postBytes(header.data(), header.size()))
            return false;
    } else {
        ++d_->fileCount;
        if (!postBytes(tdcraw::csvHeader, std::strlen(tdcraw::csvHeader)))
            return false;
    }
    d_->headerBytes = d_->fileBytes;
    return true;
}

void Dorrin::file_writer::appendTags(const measurement *tags, std::size_t count)
{
    const loss *markers = d_->markers.data();
    std::size_t markerCount = d_->markers.size();
    while ((count > 0 || markerCount > 0) && !stopped_) {
        std::size_t take = count;
        d_->encode(tags, take, markers, markerCount);
        if (d_->splitBytes) {
            if (d_->fileBytes + d_->block.size > d_->splitBytes && d_->fileBytes > d_->headerBytes) {
                if (!openNext())
                    break;
                continue;
            }
            // A fresh file that cannot take the whole block takes as much of it as fits.
            while (d_->fileBytes + d_->block.size > d_->splitBytes && take > 1) {
                const std::uint64_t budget = d_->splitBytes > d_->fileBytes ? d_->splitBytes - d_->fileBytes : 0;
                const std::uint64_t overhead = tdcraw::blockHeaderBytes + tdcraw::crcBytes +
                                               markerCount * tdcraw::markerBytes + 8;
                const std::uint64_t room = budget > overhead ? budget - overhead : 0;
                const std::uint64_t body = d_->block.size > overhead ? d_->block.size - overhead : 1;
                std::size_t next = static_cast<std::size_t>(static_cast<double>(take) * room / body * 0.98);
                next = std::max<std::size_t>(1, std::min(next, take - 1));
                take = next;
                d_->encode(tags, take, markers, markerCount);
            }
        }
        d_->block.tags = take; // counted written once the disk has them
        if (!d_->post(d_->block, stopped_))
            break;
        tags += take;
        count -= take;
        markerCount = 0;
        if (count > 0 && !openNext())
            break;
    }
    if (count > 0)
        lost_.fetch_add(count, std::memory_order_relaxed);
    d_->markers.clear();
}

void Dorrin::file_writer::finishBlock()
{
    if (d_->pending.empty() && d_->markers.empty())
        return;
    appendTags(d_->pending.data(), d_->pending.size());
    d_->pending.clear();
}

void Dorrin::file_writer::flushText()
{
    auto &text = d_->text;
    if (!text.bytes || text.size == 0)
        return;
    if (!d_->post(text, stopped_)) {
        lost_.fetch_add(text.tags, std::memory_order_relaxed);
        text.size = 0;
        text.tags = 0;
    }
}

void Dorrin::file_writer::writeCsv(const measurement *tags, std::size_t count)
{
    Impl &d = *d_;
    std::size_t i = 0;
    while (i < count && !stopped_) {
        if (!d.splitBytes) {
            const std::size_t take = std::min(count - i, blockTags);
            char *out = d.textData();
            d.text.size = tdcraw::appendCsvRows(tags + i, take, out, d.text.size);
            d.text.tags += take;
            i += take;
        } else {
            char *out = d.textData();
            const std::size_t before = d.text.size;
            const std::size_t after = tdcraw::appendCsvRows(tags + i, 1, out, before);
            if (d.fileBytes + after > d.splitBytes && d.fileBytes + before > d.headerBytes) {
                char row[tdcraw::maxCsvRowBytes];
                const std::size_t rowBytes = after - before;
                std::memcpy(row, out + before, rowBytes);
                d.text.size = before;
                flushText();
                if (!openNext())
                    break;
                std::memcpy(d.textData(), row, rowBytes);
                d.text.size = rowBytes;
            } else {
                d.text.size = after;
            }
            ++d.text.tags;
            ++i;
        }
        if (d.text.size >= csvFlushBytes)
            flushText();
    }
    if (i < count)
        lost_.fetch_add(count - i, std::memory_order_relaxed);
}

void Dorrin::file_writer::write(const std::vector<measurement> &batch)
{
    for (const auto &l : Dorrin::losses_before_batch())
        mark(l);
    write(batch.data(), batch.size());
}

void Dorrin::file_writer::mark(const loss &l)
{
    if (stopped_)
        return;
    if (d_->format == binary) {
        d_->markers.push_back(l);
    } else {
        const std::string line = tdcraw::csvMarker(l);
        if (d_->text.size + line.size() > Impl::textBytes())
            flushText();
        char *out = d_->textData();
        std::memcpy(out + d_->text.size, line.data(), line.size());
        d_->text.size += line.size();
    }
}

void Dorrin::file_writer::write(const measurement *tags, std::size_t count)
{
    if (stopped_) {
        lost_.fetch_add(count, std::memory_order_relaxed);
        if (d_->fd >= 0)
            closeFile(); // the disk side stopped the writer
        return;
    }
    Impl &d = *d_;
    const auto now = d.clock();
    if (d.splitPeriod.count() > 0 && now - d.fileStart >= d.splitPeriod) {
        if (d.format == binary)
            finishBlock();
        else
            flushText();
        openNext();
    } else if (now - d.blockStart >= blockAge) {
        postBuffered();
    }
    if (d.format == csv) {
        if (d.text.size == 0)
            d.blockStart = now;
        writeCsv(tags, count);
        return;
    }
    std::size_t i = 0;
    if (count >= blockTags / 2) {
        // A big batch is encoded where it lies, in blocks of its own; copying it into the
        // pending block would cost more than the encoding.
        finishBlock();
        while (i < count && !stopped_) {
            const std::size_t take = std::min(count - i, blockTags);
            appendTags(tags + i, take);
            i += take;
        }
    }
    while (i < count && !stopped_) {
        if (d.pending.empty())
            d.blockStart = now;
        const std::size_t take = std::min(count - i, blockTags - d.pending.size());
        d.pending.insert(d.pending.end(), tags + i, tags + i + take);
        if (d.pending.size() == blockTags)
            finishBlock();
        i += take;
    }
    if (i < count)
        lost_.fetch_add(count - i, std::memory_order_relaxed);
}

void Dorrin::file_writer::postBuffered()
{
    if (d_->format == binary)
        finishBlock();
    else
        flushText();
}

void Dorrin::file_writer::flush()
{
    postBuffered();
    d_->disk->drain();
    if (stopped_ && d_->fd >= 0)
        closeFile();
}
