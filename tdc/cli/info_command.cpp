// tdc-cli info: the board's firmware, its modules and its converter, as one JSON object.

#include <ctime>
#include <iostream>

#include <CLI/CLI.hpp>

#include "board.h"
#include "command.h"
#include "output.h"
#include "tdc/tdcfennick.h"
#include "tdc/tdcmastermodule.h"
#include "tdc/tdcmodule.h"

namespace cli {
namespace {

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

Json moduleJson(std::size_t index, TessaronModule *m)
{
    Json o = {{"index", index},
              {"typeID", m->typeID()},
              {"baseAddress", m->baseAddress()},
              {"size", m->size()},
              {"hardwareVersion", versionJson(m->hardwareVersion())},
              {"softwareVersion", versionJson(m->softwareVersion())}};
    if (auto *master = dynamic_cast<TDCMasterModule *>(m)) {
        o["kind"] = "master";
        o["compileTime"] = master->compileTime();
        o["tag"] = master->firmwareTag();
    } else if (auto *tdc = dynamic_cast<TDCModule *>(m)) {
        o["kind"] = "tdc";
        o["channels"] = tdc->numChannels();
        o["coarseBits"] = tdc->coarseBits();
        o["fineBits"] = tdc->fineBits();
        o["tdcPeriod"] = number(tdc->tdcPeriod());
        o["minBinWidth"] = number(tdc->minBinWidth());
        Json periods = Json::array();
        for (std::uint32_t c = 0; c < tdc->numChannels(); ++c)
            periods.push_back(tdc->ch(c).getPeriod());
        o["channelPeriods"] = periods;
    } else if (auto *counter = dynamic_cast<TDCFennick *>(m)) {
        o["kind"] = "counter";
        o["channels"] = counter->numChannels();
        o["inputLogic"] = counter->inputLogic();
        o["integrationTime"] = number(counter->integrationTime());
        o["autoPush"] = counter->autoPushEnabled();
    } else {
        o["kind"] = "other";
    }
    return o;
}

int info(const Global &global)
{
    TDCBackend backend;
    DeviceMap device;
    if (!openBoard(global, backend, device, std::cerr))
        return 1;
    Json doc = Json::object();
    Json deviceJson = Json::object();
    for (const auto &[k, v] : device)
        deviceJson[k] = v;
    doc["device"] = deviceJson;
    const auto modules = backend.getModules();
    TDCMasterModule *master = nullptr;
    TDCModule *tdc = nullptr;
    Json items = Json::array();
    for (std::size_t i = 0; i < modules.size(); ++i) {
        if (!master)
            master = dynamic_cast<TDCMasterModule *>(modules[i]);
        if (!tdc)
            tdc = dynamic_cast<TDCModule *>(modules[i]);
        items.push_back(moduleJson(i, modules[i]));
    }
    if (master)
        doc["firmware"] = {{"compileTime", master->compileTime()},
                           {"compileTimeText", utcText(master->compileTime())},
                           {"tag", master->firmwareTag()}};
    else
        doc["firmware"] = nullptr;
    doc["modules"] = items;
    if (tdc) {
        doc["channels"] = tdc->numChannels();
        doc["coarseBits"] = tdc->coarseBits();
        doc["fineBits"] = tdc->fineBits();
        doc["tdcPeriod"] = number(tdc->tdcPeriod());
        doc["minBinWidth"] = number(tdc->minBinWidth());
    }
    printLine(std::cout, doc);
    return 0;
}

const bool registered = registerCommand(
    {"info", "info", "Describe the board: firmware, modules, converter.", 20,
     [](CLI::App &, const Global &global) -> Run { return [&global] { return info(global); }; }});

} // namespace
} // namespace cli
