// tdc-cli autotune: the board's automatic threshold search, one JSON line per channel.

#include <chrono>
#include <iostream>
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "board.h"
#include "command.h"
#include "output.h"
#include "tdc/programmablethreshold.h"

namespace cli {
namespace {

struct AutotuneOptions {
    std::vector<unsigned> channels;
    unsigned steps = 0; // 0: the board's
    double gate = 0;    // seconds; 0: the board's
};

int autotune(const Global &global, const AutotuneOptions &options)
{
    TDCBackend backend;
    DeviceMap device;
    if (!openBoard(global, backend, device, std::cerr))
        return 1;
    auto *dac = findModule<ProgrammableThreshold>(backend, "threshold DAC module", std::cerr);
    if (!dac)
        return 1;
    std::vector<std::uint16_t> channels;
    for (const auto c : options.channels) {
        if (c >= dac->numChannels()) {
            std::cerr << "tdc-cli: there is no channel " << c << "; the board has channels 0 … "
                      << dac->numChannels() - 1 << "\n";
            return 1;
        }
        channels.push_back(static_cast<std::uint16_t>(c));
    }
    if (channels.empty())
        for (std::uint16_t c = 0; c < dac->numChannels(); ++c)
            if (dac->getRange(c).kind != 0)
                channels.push_back(c);
    if (options.steps > 0 || options.gate > 0) {
        const auto gate = std::chrono::microseconds(options.gate > 0 ? std::llround(options.gate * 1e6) : 40000);
        const auto [ec, applied] = dac->setSweep(options.steps > 0 ? options.steps : 100, gate);
        if (ec) {
            std::cerr << "tdc-cli: cannot set up the sweep: " << ec.message() << "\n";
            return 1;
        }
    }

    int result = 0;
    auto futures = dac->autoThreshold(channels);
    for (auto &f : futures) {
        const auto [channel, ec, volts] = f.get();
        Json line{{"channel", channel}};
        if (!ec) {
            const auto [pec, plateau] = dac->getPlateau(channel);
            if (!pec)
                line["plateau"] = Json{{"from", number(plateau.from)}, {"to", number(plateau.to)},
                                       {"rate", number(plateau.rate)}};
        } else {
            line["error"] = ec.message();
            std::cerr << "tdc-cli: channel " << channel << ": " << ec.message() << "\n";
            result = 1;
        }
        line["voltage"] = number(volts);
        printLine(std::cout, line);
    }
    return result;
}

const bool registered = registerCommand(
    {"autotune", "autotune [--steps N] [--gate S] [CH...]",
     "Find each channel's plateau and set its threshold in the middle.", 70,
     [](CLI::App &sub, const Global &global) -> Run {
         auto options = std::make_shared<AutotuneOptions>();
         sub.add_option("channels", options->channels, "channels to tune (default: every programmable one)");
         sub.add_option("--steps", options->steps, "threshold steps of the sweep, 8 … 1024")
             ->check(CLI::Range(8u, 1024u));
         sub.add_option("--gate", options->gate, "counting time of each step in seconds, 0.0001 … 1")
             ->check(CLI::Range(1e-4, 1.0));
         return [&global, options] { return autotune(global, *options); };
     }});

} // namespace
} // namespace cli
