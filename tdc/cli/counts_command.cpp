// tdc-cli counts: count rates of every channel, one JSON line per sample.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>

#include <CLI/CLI.hpp>

#include "board.h"
#include "command.h"
#include "output.h"
#include "tdc/tdcfennick.h"

namespace cli {
namespace {

struct CountsOptions {
    double time = 0.2;     // integration time, seconds
    unsigned samples = 10;
};

int counts(const Global &global, const CountsOptions &options)
{
    TDCBackend backend;
    DeviceMap device;
    if (!openBoard(global, backend, device, std::cerr))
        return 1;
    auto *counter = findModule<TDCFennick>(backend, "counter module", std::cerr);
    if (!counter)
        return 1;

    // Samples cross from the library's thread to this one through a queue of our own; the
    // library's mutex guards data shared with the library's other users, which we have none of.
    struct Inbox {
        std::mutex mutex;
        std::condition_variable arrived;
        std::deque<std::pair<double, std::vector<std::uint32_t>>> samples;
    };
    auto inbox = std::make_shared<Inbox>();
    counter->setCallback([inbox](std::mutex &, std::chrono::duration<double> dt,
                                 const std::vector<std::uint32_t> &c) {
        {
            std::lock_guard<std::mutex> lock(inbox->mutex);
            inbox->samples.emplace_back(dt.count(), c);
        }
        inbox->arrived.notify_all();
    });
    const auto [ec, applied] = counter->setIntegrationTime(options.time);
    if (ec) {
        std::cerr << "tdc-cli: cannot set the integration time: " << ec.message() << "\n";
        return 1;
    }
    if (const auto pushEc = counter->setAutoPush(true)) {
        std::cerr << "tdc-cli: cannot start the counter: " << pushEc.message() << "\n";
        return 1;
    }
    // A sample is late when three integration times and some slack have passed.
    const auto patience = std::chrono::duration<double>(3 * applied + 2.0);
    int result = 0;
    for (unsigned i = 0; i < options.samples; ++i) {
        std::pair<double, std::vector<std::uint32_t>> sample;
        {
            std::unique_lock<std::mutex> lock(inbox->mutex);
            if (!inbox->arrived.wait_for(lock, patience, [&] { return !inbox->samples.empty(); })) {
                std::cerr << "tdc-cli: the counter stopped sending samples"
                          << (backend.isOpen() ? "" : ": the board has been disconnected") << "\n";
                result = 1;
                break;
            }
            sample = std::move(inbox->samples.front());
            inbox->samples.pop_front();
        }
        Json rates = Json::array();
        for (const auto c : sample.second)
            rates.push_back(number(sample.first > 0 ? c / sample.first : 0.0));
        printLine(std::cout, Json{{"integrationTime", number(sample.first)}, {"rates", rates}});
    }
    counter->setCallback({});
    if (backend.isOpen())
        counter->setAutoPush(false);
    return result;
}

const bool registered = registerCommand(
    {"counts", "counts [--time S] [--samples N]", "Print count rates of every channel.", 30,
     [](CLI::App &sub, const Global &global) -> Run {
         auto options = std::make_shared<CountsOptions>();
         sub.add_option("--time", options->time, "integration time in seconds, 0.0001 … 60")
             ->check([](const std::string &v) -> std::string {
                 char *end = nullptr;
                 const double t = std::strtod(v.c_str(), &end);
                 if (v.empty() || *end != '\0' || !(t >= 1e-4 && t <= 60))
                     return "--time needs seconds from 0.0001 to 60, not \"" + v + "\"";
                 return {};
             });
         sub.add_option("--samples", options->samples, "number of samples")
             ->check([](const std::string &v) -> std::string {
                 if (v.empty() || v.find_first_not_of("0123456789") != std::string::npos ||
                     v.size() > 9 || std::stoul(v) == 0)
                     return "--samples needs a positive whole number, not \"" + v + "\"";
                 return {};
             });
         return [&global, options] { return counts(global, *options); };
     }});

} // namespace
} // namespace cli
