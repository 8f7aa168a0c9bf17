// tdc-cli threshold: read or set one channel's comparator threshold.

#include <cmath>
#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "board.h"
#include "command.h"
#include "output.h"
#include "tdc/programmablethreshold.h"

namespace cli {
namespace {

struct ThresholdOptions {
    std::string action;
    unsigned channel = 0;
    std::string volts;
};

Json channelJson(unsigned channel, const DACModule::OutRange &range, double volts)
{
    return Json{{"channel", channel},     {"voltage", number(volts)}, {"min", number(range.min)},
                {"max", number(range.max)}, {"fixed", range.kind == 0}};
}

int threshold(const Global &global, const ThresholdOptions &options)
{
    double requested = 0;
    if (options.action == "set") {
        char *end = nullptr;
        requested = std::strtod(options.volts.c_str(), &end);
        if (options.volts.empty() || *end != '\0' || !std::isfinite(requested)) {
            std::cerr << "tdc-cli: threshold set needs a voltage, not \"" << options.volts << "\"\n";
            return 2;
        }
    } else if (!options.volts.empty()) {
        std::cerr << "tdc-cli: threshold get takes no voltage\n";
        return 2;
    }

    TDCBackend backend;
    DeviceMap device;
    if (!openBoard(global, backend, device, std::cerr))
        return 1;
    auto *dac = findModule<DACModule>(backend, "threshold DAC module", std::cerr);
    if (!dac)
        return 1;
    if (options.channel >= dac->numChannels()) {
        std::cerr << "tdc-cli: there is no channel " << options.channel << "; the board has channels 0 … "
                  << dac->numChannels() - 1 << "\n";
        return 1;
    }
    const auto channel = static_cast<std::uint16_t>(options.channel);
    const auto range = dac->getRange(channel);

    if (options.action == "set") {
        if (range.kind == 0) {
            std::cerr << "tdc-cli: channel " << channel << " has a fixed threshold\n";
            return 1;
        }
        const double clamped = std::min(std::max(requested, range.min), range.max);
        if (const auto ec = dac->setVoltage(channel, clamped)) {
            std::cerr << "tdc-cli: cannot set the threshold: " << ec.message() << "\n";
            return 1;
        }
        const auto [ec, applied] = dac->getVoltage(channel);
        if (ec) {
            std::cerr << "tdc-cli: cannot read the threshold back: " << ec.message() << "\n";
            return 1;
        }
        if (clamped != requested)
            std::cerr << "tdc-cli: warning: " << requested << " V is outside channel " << channel << "'s range "
                      << range.min << " … " << range.max << " V; " << applied << " V applied\n";
        printLine(std::cout, channelJson(channel, range, applied));
        return 0;
    }
    const auto [ec, volts] = dac->getVoltage(channel);
    if (ec) {
        std::cerr << "tdc-cli: cannot read the threshold: " << ec.message() << "\n";
        return 1;
    }
    printLine(std::cout, channelJson(channel, range, volts));
    return 0;
}

const bool registered = registerCommand(
    {"threshold", "threshold get|set CH [V]", "Read or set a channel's threshold voltage.", 60,
     [](CLI::App &sub, const Global &global) -> Run {
         auto options = std::make_shared<ThresholdOptions>();
         sub.add_option("action", options->action, "get or set")
             ->required()
             ->check(CLI::IsMember({"get", "set"}));
         sub.add_option("channel", options->channel, "channel number, 0 is the sync")->required();
         sub.add_option("volts", options->volts, "threshold in volts (set)");
         return [&global, options] {
             if (options->action == "set" && options->volts.empty()) {
                 std::cerr << "tdc-cli: threshold set needs a voltage\n";
                 return 2;
             }
             return threshold(global, *options);
         };
     }});

} // namespace
} // namespace cli
