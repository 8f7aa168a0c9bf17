#include "commands.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>

#include "json.h"
#include "tdc/tdcbackend.h"
#include "tdc/tdcerror.h"
#include "tdc/tdcfennick.h"
#include "tdc/tdcmastermodule.h"
#include "tdc/tdcmodule.h"

namespace cli {

namespace {

constexpr auto openTimeout = std::chrono::milliseconds(5000);

bool parseUnsigned(const std::string &text, unsigned long long max, unsigned long long &out)
{
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    char *end = nullptr;
    errno = 0;
    out = std::strtoull(text.c_str(), &end, 10);
    return *end == '\0' && errno == 0 && out <= max;
}

std::string versionJson(const TessaronVersion &v)
{
    return Object().uinteger("major", v.major).uinteger("minor", v.minor).uinteger("patch", v.patch).str();
}

std::string mapJson(const DeviceMap &m)
{
    Object o;
    for (const auto &[k, v] : m)
        o.text(k, v);
    return o.str();
}

std::string utcText(std::int64_t hundredNs)
{
    const std::time_t seconds = static_cast<std::time_t>(hundredNs / 10000000);
    std::tm tm{};
    if (!gmtime_r(&seconds, &tm))
        return "";
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return buf;
}

// Opens the board the options name and loads its modules, or explains why not.
bool openBoard(const Options &options, TDCBackend &backend, DeviceMap &device, std::ostream &err)
{
    const std::string choice = options.device.value_or("0");
    if (choice.rfind("serial:", 0) == 0) {
        const std::string path = choice.substr(7);
        if (path.empty()) {
            err << "tdc-cli: --device serial: needs the path of a serial port\n";
            return false;
        }
        device = {{"class", "Serial"}, {"name", path}, {"serialNumber", ""}, {"description", path}};
    } else {
        unsigned long long index = 0;
        if (!parseUnsigned(choice, 1000000, index)) {
            err << "tdc-cli: --device takes a board index or serial:PATH, not \"" << choice << "\"\n";
            return false;
        }
        const auto devices = backend.getDevices().first;
        if (devices.empty()) {
            err << "tdc-cli: no board found (set TESSARON_VIRTUAL_BOARDS=1 for a virtual one)\n";
            return false;
        }
        if (index >= devices.size()) {
            err << "tdc-cli: there is no board " << index << "; " << devices.size() << " board"
                << (devices.size() == 1 ? " is" : "s are") << " listed\n";
            return false;
        }
        device = devices[index];
    }
    DeviceMap linkOptions;
    if (options.baudrate)
        linkOptions["baudrate"] = *options.baudrate;
    if (const auto ec = backend.open(device, linkOptions, openTimeout)) {
        err << "tdc-cli: cannot open the board: " << ec.message() << "\n";
        return false;
    }
    try {
        backend.loadModules(0);
    } catch (const std::exception &e) {
        err << "tdc-cli: cannot load the board's modules: " << e.what() << "\n";
        return false;
    }
    return true;
}

std::string moduleJson(std::size_t index, TessaronModule *m)
{
    Object o;
    o.uinteger("index", index);
    o.uinteger("typeID", m->typeID());
    o.uinteger("baseAddress", m->baseAddress());
    o.uinteger("size", m->size());
    o.add("hardwareVersion", versionJson(m->hardwareVersion()));
    o.add("softwareVersion", versionJson(m->softwareVersion()));
    if (auto *master = dynamic_cast<TDCMasterModule *>(m)) {
        o.text("kind", "master");
        o.integer("compileTime", master->compileTime());
        o.text("tag", master->firmwareTag());
    } else if (auto *tdc = dynamic_cast<TDCModule *>(m)) {
        o.text("kind", "tdc");
        o.uinteger("channels", tdc->numChannels());
        o.uinteger("coarseBits", tdc->coarseBits());
        o.uinteger("fineBits", tdc->fineBits());
        o.num("tdcPeriod", tdc->tdcPeriod());
        o.num("minBinWidth", tdc->minBinWidth());
        std::vector<std::string> periods;
        for (std::uint32_t c = 0; c < tdc->numChannels(); ++c)
            periods.push_back(std::to_string(tdc->ch(c).getPeriod()));
        o.add("channelPeriods", array(periods));
    } else if (auto *counter = dynamic_cast<TDCFennick *>(m)) {
        o.text("kind", "counter");
        o.uinteger("channels", counter->numChannels());
        o.integer("inputLogic", counter->inputLogic());
        o.num("integrationTime", counter->integrationTime());
        o.boolean("autoPush", counter->autoPushEnabled());
    } else {
        o.text("kind", "other");
    }
    return o.str();
}

} // namespace

void usage(std::ostream &out)
{
    out << "usage: tdc-cli list\n"
           "       tdc-cli [--device INDEX|serial:PATH] [--baudrate N] info\n"
           "       tdc-cli [--device INDEX|serial:PATH] [--baudrate N] counts [--time S] [--samples N]\n"
           "The default device is the first one listed. Output is JSON.\n";
}

std::optional<Options> parseArguments(int argc, char **argv, std::ostream &err)
{
    Options o;
    bool haveCommand = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= argc) {
                err << "tdc-cli: " << arg << " needs a value\n";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--device") {
            if (!value(v))
                return std::nullopt;
            unsigned long long index = 0;
            if (v.rfind("serial:", 0) != 0 && !parseUnsigned(v, 1000000, index)) {
                err << "tdc-cli: --device takes a board index or serial:PATH, not \"" << v << "\"\n";
                return std::nullopt;
            }
            o.device = v;
        } else if (arg == "--baudrate") {
            unsigned long long b = 0;
            if (!value(v))
                return std::nullopt;
            if (!parseUnsigned(v, 100000000, b) || b == 0) {
                err << "tdc-cli: --baudrate needs a positive whole number, not \"" << v << "\"\n";
                return std::nullopt;
            }
            o.baudrate = v;
        } else if (arg == "--time") {
            if (!value(v))
                return std::nullopt;
            char *end = nullptr;
            const double t = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0' || !std::isfinite(t) || t < 1e-4 || t > 60) {
                err << "tdc-cli: --time needs seconds from 0.0001 to 60, not \"" << v << "\"\n";
                return std::nullopt;
            }
            o.time = t;
        } else if (arg == "--samples") {
            unsigned long long n = 0;
            if (!value(v))
                return std::nullopt;
            if (!parseUnsigned(v, 100000000, n) || n == 0) {
                err << "tdc-cli: --samples needs a positive whole number, not \"" << v << "\"\n";
                return std::nullopt;
            }
            o.samples = static_cast<unsigned>(n);
        } else if (arg == "--help" || arg == "-h") {
            o.command = "help";
            return o;
        } else if (!haveCommand && (arg == "list" || arg == "info" || arg == "counts")) {
            o.command = arg;
            haveCommand = true;
        } else {
            err << "tdc-cli: unknown argument \"" << arg << "\"\n";
            return std::nullopt;
        }
    }
    if (!haveCommand) {
        err << "tdc-cli: a command is needed: list, info or counts\n";
        return std::nullopt;
    }
    return o;
}

int list(std::ostream &out, std::ostream &err)
{
    TDCBackend backend;
    const auto devices = backend.getDevices().first;
    for (const auto &d : devices)
        out << mapJson(d) << "\n";
    if (devices.empty())
        err << "tdc-cli: no board found\n";
    out.flush();
    return 0;
}

int info(const Options &options, std::ostream &out, std::ostream &err)
{
    TDCBackend backend;
    DeviceMap device;
    if (!openBoard(options, backend, device, err))
        return 1;
    Object doc;
    doc.add("device", mapJson(device));
    const auto modules = backend.getModules();
    TDCMasterModule *master = nullptr;
    TDCModule *tdc = nullptr;
    std::vector<std::string> items;
    for (std::size_t i = 0; i < modules.size(); ++i) {
        if (!master)
            master = dynamic_cast<TDCMasterModule *>(modules[i]);
        if (!tdc)
            tdc = dynamic_cast<TDCModule *>(modules[i]);
        items.push_back(moduleJson(i, modules[i]));
    }
    if (master) {
        doc.add("firmware", Object()
                                .integer("compileTime", master->compileTime())
                                .text("compileTimeText", utcText(master->compileTime()))
                                .text("tag", master->firmwareTag())
                                .str());
    } else {
        doc.add("firmware", "null");
    }
    doc.add("modules", array(items));
    if (tdc) {
        doc.uinteger("channels", tdc->numChannels());
        doc.uinteger("coarseBits", tdc->coarseBits());
        doc.uinteger("fineBits", tdc->fineBits());
        doc.num("tdcPeriod", tdc->tdcPeriod());
        doc.num("minBinWidth", tdc->minBinWidth());
    }
    out << doc.str() << "\n";
    out.flush();
    return 0;
}

int counts(const Options &options, std::ostream &out, std::ostream &err)
{
    TDCBackend backend;
    DeviceMap device;
    if (!openBoard(options, backend, device, err))
        return 1;
    TDCFennick *counter = nullptr;
    for (auto *m : backend.getModules())
        if ((counter = dynamic_cast<TDCFennick *>(m)))
            break;
    if (!counter) {
        err << "tdc-cli: the board has no counter module\n";
        return 1;
    }

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
        err << "tdc-cli: cannot set the integration time: " << ec.message() << "\n";
        return 1;
    }
    if (const auto pushEc = counter->setAutoPush(true)) {
        err << "tdc-cli: cannot start the counter: " << pushEc.message() << "\n";
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
                err << "tdc-cli: the counter stopped sending samples"
                    << (backend.isOpen() ? "" : ": the board has been disconnected") << "\n";
                result = 1;
                break;
            }
            sample = std::move(inbox->samples.front());
            inbox->samples.pop_front();
        }
        std::vector<std::string> rates;
        for (const auto c : sample.second)
            rates.push_back(number(sample.first > 0 ? c / sample.first : 0.0));
        out << Object().num("integrationTime", sample.first).add("rates", array(rates)).str() << "\n";
        out.flush();
    }
    counter->setCallback({});
    if (backend.isOpen())
        counter->setAutoPush(false);
    return result;
}

} // namespace cli
