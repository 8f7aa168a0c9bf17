// tdc-cli record: captures time tags of chosen channels and edges into raw files, for a time
// or a number of tags, and prints what was captured, lost and written. Ctrl-C ends the
// recording early with the files closed.

#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include <CLI/CLI.hpp>

#include "board.h"
#include "command.h"
#include "output.h"
#include "tdc/dorrin.h"

namespace cli {
namespace {

struct RecordOptions {
    std::string channels;
    double time = 0;
    unsigned long long tags = 0;
    std::string format = "bin";
    unsigned long long splitSize = 0;
    unsigned splitTime = 0;
    unsigned maxFiles = 0;
    std::string path;
};

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) { interrupted = true; }

// "1r,2f,3b": channel numbers with r (rising), f (falling) or b (both).
bool parseChannels(const std::string &text, Dorrin::ChannelMap &out, std::string &error)
{
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, end - start);
        start = end + 1;
        if (item.size() < 2 || item.size() > 3 || item.find_first_not_of("0123456789", 0) != item.size() - 1) {
            error = "--channels takes items like 1r, 2f or 3b, not \"" + item + "\"";
            return false;
        }
        const unsigned channel = static_cast<unsigned>(std::stoul(item.substr(0, item.size() - 1)));
        const char edge = item.back();
        const std::uint8_t value = edge == 'r' ? 1 : edge == 'f' ? 2 : edge == 'b' ? 3 : 0;
        if (value == 0 || channel > 63) {
            error = "--channels takes items like 1r, 2f or 3b, not \"" + item + "\"";
            return false;
        }
        auto &slot = out[static_cast<std::uint8_t>(channel)];
        slot = static_cast<TDCChannel::edgeTrigger_type>(slot | value);
        if (end == text.size())
            break;
    }
    return !out.empty();
}

int record(const Global &global, const RecordOptions &o)
{
    Dorrin::ChannelMap channels;
    std::string error;
    if (!parseChannels(o.channels, channels, error)) {
        std::cerr << "tdc-cli: " << error << "\n";
        return 2;
    }
    TDCBackend backend;
    DeviceMap device;
    if (!openBoard(global, backend, device, std::cerr))
        return 1;
    auto *tagger = findModule<Dorrin>(backend, "time tagger", std::cerr);
    if (!tagger)
        return 1;
    for (const auto &[channel, edges] : channels)
        if (channel >= tagger->numChannels()) {
            std::cerr << "tdc-cli: the board has no channel " << int(channel) << "; it has "
                      << tagger->numChannels() << "\n";
            return 2;
        }

    const bool split = o.splitSize > 0 || o.splitTime > 0;
    const auto maxFiles = static_cast<std::uint16_t>(o.maxFiles ? o.maxFiles : split ? 0 : 1);
    auto writer = std::make_unique<Dorrin::file_writer>(
        o.path, o.format == "csv" ? Dorrin::file_writer::csv : Dorrin::file_writer::binary, false, tagger, maxFiles,
        o.splitSize, std::chrono::seconds(o.splitTime), Dorrin::file_writer::Clock{});
    if (writer->stopped()) {
        std::cerr << "tdc-cli: cannot write " << o.path << ": " << writer->error().message() << "\n";
        return 1;
    }

    // Only the capture thread touches the writer until capture has stopped and drained.
    std::atomic<std::uint64_t> recorded{0};
    std::atomic<bool> enough{false};
    Dorrin::file_writer *w = writer.get();
    const std::uint64_t limit = o.tags;
    const auto ec = tagger->enable(
        [w, &recorded, &enough, limit](const std::vector<Dorrin::measurement> &batch) {
            std::size_t n = batch.size();
            if (limit) {
                const std::uint64_t have = recorded.load();
                n = have >= limit ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(n, limit - have));
                if (have + batch.size() >= limit)
                    enough = true;
            }
            if (n == batch.size()) {
                w->write(batch);
            } else {
                for (const auto &l : Dorrin::losses_before_batch())
                    w->mark(l);
                w->write(batch.data(), n);
            }
            recorded += n;
        },
        0, channels, 0);
    if (ec) {
        std::cerr << "tdc-cli: cannot start the time tagger: " << ec.message() << "\n";
        return 1;
    }

    struct sigaction action{}, oldInt{}, oldTerm{};
    action.sa_handler = onInterrupt;
    ::sigaction(SIGINT, &action, &oldInt);
    ::sigaction(SIGTERM, &action, &oldTerm);
    const auto start = std::chrono::steady_clock::now();
    bool boardGone = false;
    while (!interrupted && !enough && !w->stopped()) {
        if (o.time > 0 && std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(o.time))
            break;
        if (!backend.isOpen()) {
            boardGone = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    tagger->disable();
    tagger->queue_waitEmpty(std::chrono::milliseconds(0));
    writer->flush();
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);

    Json perChannel = Json::object();
    for (const auto &[channel, edges] : channels)
        perChannel[std::to_string(channel)] = tagger->lost_events(channel);
    Json doc{{"captured", tagger->captured_events()},
             {"lost", tagger->lost_events()},
             {"lostPerChannel", perChannel},
             {"written", writer->tags_written()},
             {"notWritten", writer->lost_events()},
             {"bytes", writer->bytes_written()},
             {"files", writer->files()}};
    if (writer->stopped())
        doc["writerError"] = writer->error().message();
    if (boardGone)
        doc["error"] = "the board has been disconnected";
    writer.reset(); // closes the last file
    printLine(std::cout, doc);
    if (boardGone)
        std::cerr << "tdc-cli: the board has been disconnected; the files hold what arrived before\n";
    return boardGone || doc.contains("writerError") ? 1 : 0;
}

std::string positiveNumber(const std::string &v, const char *option)
{
    if (v.empty() || v.size() > 18 || v.find_first_not_of("0123456789") != std::string::npos || std::stoull(v) == 0)
        return std::string(option) + " needs a positive whole number, not \"" + v + "\"";
    return {};
}

const bool registered = registerCommand(
    {"record",
     "record --channels 1r,2f,3b,... (--time S | --tags N) --format bin|csv [--split-size B | --split-time S] "
     "[--max-files N] PATH",
     "Record time tags to raw files; PATH may hold {:d} for the file number.", 50,
     [](CLI::App &sub, const Global &global) -> Run {
         auto o = std::make_shared<RecordOptions>();
         sub.add_option("--channels", o->channels, "channels and edges: 1r,2f,3b")->required();
         auto *time = sub.add_option("--time", o->time, "seconds to record")->check([](const std::string &v) {
             char *end = nullptr;
             const double t = std::strtod(v.c_str(), &end);
             return v.empty() || *end != '\0' || !(t > 0 && t <= 1e7)
                        ? "--time needs seconds above 0, not \"" + v + "\""
                        : std::string();
         });
         auto *tags = sub.add_option("--tags", o->tags, "number of tags to record")->check([](const std::string &v) {
             return positiveNumber(v, "--tags");
         });
         time->excludes(tags);
         sub.add_option("--format", o->format, "bin or csv")->required()->check(CLI::IsMember({"bin", "csv"}));
         auto *size = sub.add_option("--split-size", o->splitSize, "bytes per file")->check([](const std::string &v) {
             return positiveNumber(v, "--split-size");
         });
         auto *period = sub.add_option("--split-time", o->splitTime, "seconds per file")->check([](const std::string &v) {
             return positiveNumber(v, "--split-time");
         });
         size->excludes(period);
         sub.add_option("--max-files", o->maxFiles, "most files to write")->check([](const std::string &v) {
             const auto e = positiveNumber(v, "--max-files");
             return e.empty() && std::stoull(v) > 65535 ? "--max-files allows at most 65535" : e;
         });
         sub.add_option("PATH", o->path, "file to write")->required();
         return [&global, o, time, tags]() -> int {
             if (time->count() == 0 && tags->count() == 0) {
                 std::cerr << "tdc-cli: record needs --time S or --tags N\n";
                 return 2;
             }
             return record(global, *o);
         };
     }});

} // namespace
} // namespace cli
