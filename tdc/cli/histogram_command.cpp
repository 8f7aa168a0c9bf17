// tdc-cli histogram: runs a start–stop histogrammer for a number of windows, writes every
// window's block in the histogram text format and prints the peak bin as one JSON line.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>

#include <CLI/CLI.hpp>

#include "board.h"
#include "command.h"
#include "output.h"
#include "tdc/tdchistogrammermodule.h"

namespace cli {
namespace {

struct HistogramOptions {
    std::string ref = "1", meas = "2";
    double left = 0, right = 0, bin = 0; // seconds
    double periodMs = 100;
    unsigned windows = 1;
    bool accumulate = false, multiHit = false;
    std::string out;
    unsigned index = 0; // which histogrammer of the board
};

// "CH[:r|f]": a channel and its edge, rising unless ":f".
bool parseChannel(const std::string &text, TDCHistogrammerModule::ChannelAndEdge &out)
{
    const auto colon = text.find(':');
    const std::string number = text.substr(0, colon);
    if (number.empty() || number.size() > 2 || number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out.channel = static_cast<std::uint16_t>(std::stoul(number));
    out.edge = 1;
    if (colon != std::string::npos) {
        const std::string edge = text.substr(colon + 1);
        if (edge == "f")
            out.edge = 2;
        else if (edge != "r")
            return false;
    }
    return out.channel < 64;
}

std::string checkChannel(const std::string &v)
{
    TDCHistogrammerModule::ChannelAndEdge ch;
    return parseChannel(v, ch) ? std::string() : "a channel is CH or CH:r or CH:f (CH 0 … 63), not \"" + v + "\"";
}

// One block in the histogram text format: the bin value of bin i is left + (i + 1) × width.
void writeBlock(std::ostream &out, const std::string &name, double left, double width,
                const std::vector<std::uint64_t> &counts)
{
    out << "# ---------- " << name << " ---------- #\n";
    out << "# Bin value [s], Counts\n";
    char value[32];
    for (std::size_t i = 0; i < counts.size(); ++i) {
        std::snprintf(value, sizeof value, "%g", left + static_cast<double>(i + 1) * width);
        out << value << "," << counts[i] << "\n";
    }
    out << "# ---------------------------------------- #\n\n";
}

int histogram(const Global &global, const HistogramOptions &o)
{
    TDCHistogrammerModule::ChannelAndEdge ref, meas;
    parseChannel(o.ref, ref);
    parseChannel(o.meas, meas);
    if (!(o.left < o.right)) {
        std::cerr << "tdc-cli: --left must lie below --right\n";
        return 2;
    }

    TDCBackend backend;
    DeviceMap device;
    if (!openBoard(global, backend, device, std::cerr))
        return 1;
    std::vector<TDCHistogrammerModule *> histogrammers;
    for (auto *m : backend.getModules())
        if (auto *h = dynamic_cast<TDCHistogrammerModule *>(m))
            histogrammers.push_back(h);
    if (o.index >= histogrammers.size()) {
        std::cerr << "tdc-cli: the board has " << histogrammers.size() << " histogrammer"
                  << (histogrammers.size() == 1 ? "" : "s") << "; there is no histogrammer " << o.index << "\n";
        return 1;
    }
    TDCHistogrammerModule &h = *histogrammers[o.index];

    std::ofstream file;
    if (!o.out.empty()) {
        file.open(o.out, std::ios::out | std::ios::trunc);
        if (!file) {
            std::cerr << "tdc-cli: cannot write \"" << o.out << "\"\n";
            return 1;
        }
    }
    std::ostream &blocks = o.out.empty() ? std::cout : file;

    struct Inbox {
        std::mutex mutex;
        std::condition_variable arrived;
        std::deque<std::pair<std::vector<std::uint64_t>, TDCHistogrammerModule::Status>> blocks;
    };
    auto inbox = std::make_shared<Inbox>();
    h.setCallback([inbox](const std::vector<std::uint64_t> &counts, TDCHistogrammerModule::Status status) {
        {
            std::lock_guard<std::mutex> lock(inbox->mutex);
            inbox->blocks.emplace_back(counts, status);
        }
        inbox->arrived.notify_all();
    });

    const auto fail = [&](const char *what, const std::error_code &ec) {
        std::cerr << "tdc-cli: cannot " << what << ": " << ec.message() << "\n";
        h.setCallback({});
        return 1;
    };
    if (auto ec = h.disable(true))
        return fail("stop the histogrammer", ec);
    if (auto ec = h.setRefCh(ref))
        return fail("set the reference channel", ec);
    if (auto ec = h.setMeasCh(meas))
        return fail("set the measurement channel", ec);
    if (auto ec = h.setAccumulate(o.accumulate))
        return fail("set accumulate", ec);
    if (auto ec = h.setMultiHit(o.multiHit))
        return fail("set multi-hit", ec);
    const auto [boundsEc, applied] = h.setBounds({o.left, o.bin, o.right});
    if (boundsEc)
        return fail("set the bounds", boundsEc);
    if (*applied.left != o.left || *applied.binWidth != o.bin || *applied.right != o.right)
        std::cerr << "tdc-cli: the board applied left " << *applied.left << " s, bin width " << *applied.binWidth
                  << " s, right " << *applied.right << " s\n";
    const auto [enableEc, period] = h.enable(std::chrono::duration<double>(o.periodMs / 1000.0), o.windows);
    if (enableEc)
        return fail("start the histogrammer", enableEc);

    const std::string name = "Histogram " + std::to_string(o.index);
    std::vector<std::uint64_t> total;
    unsigned received = 0;
    int result = 0;
    const auto patience = std::chrono::duration<double>(3 * period.count() + 2.0);
    while (received < o.windows) {
        std::pair<std::vector<std::uint64_t>, TDCHistogrammerModule::Status> block;
        {
            std::unique_lock<std::mutex> lock(inbox->mutex);
            if (!inbox->arrived.wait_for(lock, patience, [&] { return !inbox->blocks.empty(); })) {
                std::cerr << "tdc-cli: the histogrammer stopped sending blocks"
                          << (backend.isOpen() ? "" : ": the board has been disconnected") << "\n";
                result = 1;
                break;
            }
            block = std::move(inbox->blocks.front());
            inbox->blocks.pop_front();
        }
        ++received;
        writeBlock(blocks, name, *applied.left, *applied.binWidth, block.first);
        if (o.accumulate || total.empty())
            total = block.first;
        else
            for (std::size_t i = 0; i < total.size() && i < block.first.size(); ++i)
                total[i] += block.first[i];
        if (!block.second.running)
            break;
    }
    h.setCallback({});
    if (backend.isOpen())
        h.disable(true);
    blocks.flush();
    if (!o.out.empty() && !file) {
        std::cerr << "tdc-cli: cannot write \"" << o.out << "\"\n";
        return 1;
    }
    if (result != 0)
        return result;

    std::size_t peak = 0;
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < total.size(); ++i) {
        sum += total[i];
        if (total[i] > total[peak])
            peak = i;
    }
    Json summary = {{"windows", received},
                    {"left", number(*applied.left)},
                    {"binWidth", number(*applied.binWidth)},
                    {"right", number(*applied.right)},
                    {"bins", total.size()},
                    {"total", sum},
                    {"peakBin", peak},
                    {"peakValue", number(*applied.left + static_cast<double>(peak + 1) * *applied.binWidth)},
                    {"peakCount", total.empty() ? 0 : total[peak]}};
    printLine(std::cout, summary);
    return 0;
}

const bool registered = registerCommand(
    {"histogram",
     "histogram --ref CH[:r|f] --meas CH[:r|f] --left S --right S --bin S --period MS --windows N "
     "[--accumulate] [--multihit] [--out FILE] [--histogrammer I]",
     "Run a start-stop histogrammer; write its windows as histogram text (to FILE, or here) and print "
     "the peak as JSON.",
     40,
     [](CLI::App &sub, const Global &global) -> Run {
         auto o = std::make_shared<HistogramOptions>();
         const auto seconds = [](const std::string &v) -> std::string {
             char *end = nullptr;
             const double s = std::strtod(v.c_str(), &end);
             if (v.empty() || *end != '\0' || !std::isfinite(s) || std::fabs(s) > 10)
                 return "a time in seconds (at most 10 s either way) is needed, not \"" + v + "\"";
             return {};
         };
         sub.add_option("--ref", o->ref, "reference channel")->required()->check(checkChannel);
         sub.add_option("--meas", o->meas, "measurement channel")->required()->check(checkChannel);
         sub.add_option("--left", o->left, "left bound, seconds")->required()->check(seconds);
         sub.add_option("--right", o->right, "right bound, seconds")->required()->check(seconds);
         sub.add_option("--bin", o->bin, "bin width, seconds")->required()->check([](const std::string &v) -> std::string {
             char *end = nullptr;
             const double s = std::strtod(v.c_str(), &end);
             if (v.empty() || *end != '\0' || !(s > 0 && s <= 10))
                 return "--bin needs a positive width in seconds, not \"" + v + "\"";
             return {};
         });
         sub.add_option("--period", o->periodMs, "window period, milliseconds")->required()->check(
             [](const std::string &v) -> std::string {
                 char *end = nullptr;
                 const double ms = std::strtod(v.c_str(), &end);
                 if (v.empty() || *end != '\0' || !(ms >= 0.1 && ms <= 60000))
                     return "--period needs milliseconds from 0.1 to 60000, not \"" + v + "\"";
                 return {};
             });
         sub.add_option("--windows", o->windows, "number of windows")->required()->check(
             [](const std::string &v) -> std::string {
                 if (v.empty() || v.size() > 6 || v.find_first_not_of("0123456789") != std::string::npos ||
                     std::stoul(v) == 0)
                     return "--windows needs a positive whole number up to 999999, not \"" + v + "\"";
                 return {};
             });
         sub.add_flag("--accumulate", o->accumulate, "each block holds the running total");
         sub.add_flag("--multihit", o->multiHit, "count every measurement event up to the right bound");
         sub.add_option("--out", o->out, "file for the histogram text (replaced)");
         sub.add_option("--histogrammer", o->index, "which histogrammer of the board, from 0");
         return [&global, o] { return histogram(global, *o); };
     }});

} // namespace
} // namespace cli
