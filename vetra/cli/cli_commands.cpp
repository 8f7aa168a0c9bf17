#include "cli_commands.h"

#include "cli_format.h"

#include <vetra/vetra.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <mutex>
#include <optional>
#include <string>

namespace vetra_cli {

namespace {

using namespace std::chrono_literals;

// Lines from the library's threads and the main thread never interleave.
std::mutex outputMutex;

void printLine(std::FILE *stream, const std::string &line)
{
    std::lock_guard<std::mutex> lock(outputMutex);
    std::fputs(line.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void printError(const std::string &message)
{
    printLine(stderr, message);
}

int list()
{
    vetra link;
    const auto devices = link.getDevices();
    for (const auto &device : devices.first)
        printLine(stdout, jsonObject(device));
    return 0;
}

// Waits for `f` as long as the link's time-out (0: for ever); false on time-out.
template <typename T>
bool waitFor(std::future<T> &f, std::uint32_t timeoutMs)
{
    if (timeoutMs == 0) {
        f.wait();
        return true;
    }
    return f.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
}

// Waits for a response while the link lasts. With a time-out the memory engine answers every
// request in time; without one (0) a board that goes away would leave the request pending for
// ever, so the link is watched meanwhile. False (after printing why) when the link is lost.
template <typename T>
bool awaitResponse(const vetra &link, std::future<T> &f)
{
    while (f.wait_for(200ms) != std::future_status::ready) {
        if (!link.isOpen()) {
            printError(mme_defs::device_disconnected().what());
            return false;
        }
    }
    return true;
}

int read(vetra &link, const arguments &args)
{
    auto pending = link.read(args.address, args.count, static_cast<mme_common::BurstType>(args.burst));
    if (!awaitResponse(link, pending))
        return 1;
    auto result = pending.get();
    if (result.first) {
        printError(result.first.message());
        return 1;
    }
    std::string lines;
    if (result.second)
        for (std::uint32_t w : *result.second)
            lines += hexWord(w) + '\n';
    std::lock_guard<std::mutex> lock(outputMutex);
    std::fputs(lines.c_str(), stdout);
    std::fflush(stdout);
    return 0;
}

int write(vetra &link, const arguments &args)
{
    auto data = std::make_shared<const std::vector<std::uint32_t>>(args.words);
    auto pending = link.write(args.address, data, static_cast<mme_common::BurstType>(args.burst));
    if (!awaitResponse(link, pending))
        return 1;
    const std::error_code ec = pending.get();
    if (ec) {
        printError(ec.message());
        return 1;
    }
    return 0;
}

int send(vetra &link, const arguments &args)
{
    std::vector<std::shared_ptr<const std::vector<std::uint32_t>>> payload;
    if (!args.words.empty())
        payload.push_back(std::make_shared<const std::vector<std::uint32_t>>(args.words));
    auto sent = std::make_shared<std::promise<std::error_code>>();
    auto done = sent->get_future();
    if (!link.sendPacket(args.stream, payload,
                         [sent](const std::error_code &ec, std::size_t) { sent->set_value(ec); })) {
        printError(std::make_error_code(std::errc::invalid_argument).message());
        return 1;
    }
    if (!waitFor(done, args.timeoutMs)) {
        printError(std::make_error_code(std::errc::timed_out).message());
        return 1;
    }
    if (const std::error_code ec = done.get()) {
        printError(ec.message());
        return 1;
    }
    return 0;
}

int listen(vetra &link, const arguments &args)
{
    // Shared with the callback: a packet may still be delivered after this function returns,
    // until the link is closed.
    struct state {
        std::mutex mutex;
        std::condition_variable enough;
        std::uint64_t printed = 0;
    };
    auto shared = std::make_shared<state>();
    const std::optional<std::uint64_t> wanted = args.packets;
    link.setStreamCallback(
        args.stream, [shared, wanted](std::uint8_t, std::unique_ptr<std::vector<std::uint32_t>> payload) {
            std::lock_guard<std::mutex> lock(shared->mutex);
            if (wanted && shared->printed >= *wanted)
                return;
            printLine(stdout, payload ? wordLine(*payload) : std::string());
            ++shared->printed;
            shared->enough.notify_all();
        });
    std::unique_lock<std::mutex> lock(shared->mutex);
    for (;;) {
        if (shared->enough.wait_for(lock, 200ms, [&] { return wanted && shared->printed >= *wanted; }))
            return 0;
        // A lost link ends listening: nothing more can arrive.
        if (!link.isOpen()) {
            printError(mme_defs::device_disconnected().what());
            return 1;
        }
    }
}

} // namespace

int run(const arguments &args)
{
    if (args.cmd == command::list)
        return list();

    // Packet errors and a lost link are reported as they happen; the command goes on.
    vetra link([](const std::error_code &ec, vetra::buffer_list) { printError(ec.message()); });
    if (const std::error_code ec = link.open(args.device, args.options, args.readStream, args.writeStream)) {
        printError(ec.message());
        return 1;
    }
    int status = 1;
    try {
        link.setTimeout(std::chrono::milliseconds(args.timeoutMs));
        switch (args.cmd) {
        case command::read: status = read(link, args); break;
        case command::write: status = write(link, args); break;
        case command::send: status = send(link, args); break;
        case command::listen: status = listen(link, args); break;
        case command::help:
        case command::list: break;
        }
    } catch (const std::exception &e) {
        printError(e.what());
        status = 1;
    }
    link.close();
    return status;
}

} // namespace vetra_cli
