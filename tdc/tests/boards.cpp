#include "boards.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace testboards {

DeviceMap findDevice(TDCBackend &backend, const std::string &serial)
{
    for (const auto &d : backend.getDevices().first) {
        const auto it = d.find("serialNumber");
        if (it != d.end() && it->second == serial)
            return d;
    }
    return {};
}

std::string uniqueSerial(const char *prefix)
{
    static std::atomic<int> next{0};
    return std::string(prefix) + "-" + std::to_string(::getpid() % 10000) + "-" + std::to_string(next++);
}

InProcessBoard::InProcessBoard(const kestrane::Profile &profile) : serial_(uniqueSerial("TB"))
{
    device_ = std::make_shared<kestrane::VirtualDevice>(std::make_unique<kestrane::Board>(profile));
    if (!kestrane::addVirtualBoard(serial_, device_))
        throw std::runtime_error("cannot add virtual board " + serial_);
}

InProcessBoard::~InProcessBoard()
{
    remove();
}

void InProcessBoard::remove()
{
    ft60x_virtual::removeDevice(serial_);
}

EmuBoard::EmuBoard(const std::string &profileJson)
{
    std::vector<std::string> args = {KESTRANE_EMU, "--pty"};
    if (!profileJson.empty()) {
        profileFile_ = "/tmp/tdc_tests_profile_" + std::to_string(::getpid()) + "_" + uniqueSerial("p") + ".json";
        std::ofstream(profileFile_) << profileJson;
        args.push_back("--profile");
        args.push_back(profileFile_);
    }
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        ::close(fds[1]);
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    FILE *out = ::fdopen(fds[0], "r");
    char line[256] = {};
    if (!out || !std::fgets(line, sizeof line, out)) {
        if (out)
            std::fclose(out);
        throw std::runtime_error("kestrane-emu printed no path");
    }
    std::fclose(out);
    path_ = line;
    while (!path_.empty() && (path_.back() == '\n' || path_.back() == '\r'))
        path_.pop_back();
}

EmuBoard::~EmuBoard()
{
    remove();
    if (!profileFile_.empty())
        std::remove(profileFile_.c_str());
}

DeviceMap EmuBoard::device(TDCBackend &)
{
    return {{"class", "Serial"}, {"name", path_}, {"serialNumber", ""}, {"description", "kestrane-emu"}};
}

void EmuBoard::remove()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

void ScriptedBoard::attach(ft60x_virtual::device_port *port)
{
    std::lock_guard<std::mutex> lock(mutex_);
    port_ = port;
    reader_.reset();
}

void ScriptedBoard::poke(std::uint32_t address, std::uint32_t value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    memory[address] = value;
}

void ScriptedBoard::detach()
{
    std::lock_guard<std::mutex> lock(mutex_);
    port_ = nullptr;
}

void ScriptedBoard::fromHost(const std::uint8_t *data, std::size_t size)
{
    std::lock_guard<std::mutex> lock(mutex_);
    reader_.feed(data, size, [this](std::uint8_t stream, std::vector<std::uint32_t> p) {
        if (silent || p.size() < 3 || !port_)
            return;
        if (unansweredRequests > 0) {
            --unansweredRequests;
            return;
        }
        const std::uint32_t count = p[2] & 0x1FFFFF;
        std::vector<std::uint32_t> r = {p[0], p[1], p[2]};
        std::uint32_t status = 8;
        if (stream == 1) {
            for (std::uint32_t i = 0; i < count && status == 8; ++i) {
                const auto it = memory.find(p[1] + i);
                if (it == memory.end())
                    status = 2;
                else
                    r.push_back(it->second);
            }
            if (status != 8)
                r.resize(3);
        } else if (stream == 2) {
            for (std::uint32_t i = 0; i < count && 3 + i < p.size(); ++i)
                memory[p[1] + i] = p[3 + i];
            if (!(p[2] & (1u << 25)))
                return;
        } else {
            return;
        }
        r.push_back(status);
        beforeAnswer(stream, p, r, *port_);
        const auto bytes = kestrane::wire::encode(stream, r);
        port_->toHost(bytes.data(), bytes.size());
    });
}

void ScriptedBoard::push(std::uint8_t stream, const std::vector<std::uint32_t> &payload)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!port_)
        return;
    const auto bytes = kestrane::wire::encode(stream, payload);
    port_->toHost(bytes.data(), bytes.size());
}

void writeTable(std::map<std::uint32_t, std::uint32_t> &memory,
                const std::vector<std::array<std::uint32_t, 3>> &entries)
{
    memory[0] = 0x4B455354;
    memory[1] = 1;
    memory[2] = static_cast<std::uint32_t>(entries.size());
    memory[3] = 8;
    for (std::uint32_t i = 0; i < entries.size(); ++i) {
        const std::uint32_t e = 0x10 + 8 * i;
        const std::uint32_t words[8] = {entries[i][0], 0x00010002, 3, 0x00040005, 6, entries[i][1], entries[i][2], 0};
        for (std::uint32_t k = 0; k < 8; ++k)
            memory[e + k] = words[k];
    }
}

} // namespace testboards
