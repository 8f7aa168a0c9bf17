#include "soakboard.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <vetra/ft60x_virtual.h>

namespace soak {

InProcessSoakBoard::InProcessSoakBoard(kestrane::Profile profile, std::string serial)
    : profile_(std::move(profile)), serial_(std::move(serial))
{
}

InProcessSoakBoard::~InProcessSoakBoard()
{
    pull();
}

bool InProcessSoakBoard::plugIn(std::string &error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (present_) {
        error = "the board is already plugged in";
        return false;
    }
    auto device = std::make_shared<kestrane::VirtualDevice>(std::make_unique<kestrane::Board>(profile_));
    if (!kestrane::addVirtualBoard(serial_, device)) {
        error = "cannot add the virtual board " + serial_ + " (its serial number is still taken)";
        return false;
    }
    present_ = true;
    return true;
}

void InProcessSoakBoard::pull()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!present_)
        return;
    present_ = false;
    ft60x_virtual::removeDevice(serial_);
}

DeviceMap InProcessSoakBoard::device(TDCBackend &backend)
{
    for (const auto &d : backend.getDevices().first) {
        const auto it = d.find("serialNumber");
        if (it != d.end() && it->second == serial_)
            return d;
    }
    return {};
}

EmuSoakBoard::EmuSoakBoard(std::string emu, std::string profileFile)
    : emu_(std::move(emu)), profileFile_(std::move(profileFile))
{
}

EmuSoakBoard::~EmuSoakBoard()
{
    pull();
}

bool EmuSoakBoard::plugIn(std::string &error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (pid_ > 0) {
        error = "the emulator is already running";
        return false;
    }
    std::vector<std::string> args = {emu_, "--pty"};
    if (!profileFile_.empty()) {
        args.push_back("--profile");
        args.push_back(profileFile_);
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const int pid = ::fork();
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    pid_ = pid;
    // The emulator prints the pseudo-terminal's path as its first line once it serves it.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fds[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buf[256];
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        line.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    const auto eol = line.find('\n');
    if (eol == std::string::npos || eol == 0) {
        error = "kestrane-emu (" + emu_ + ") did not print the path of its pseudo-terminal";
        ::kill(pid_, SIGKILL);
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return false;
    }
    path_ = line.substr(0, eol);
    if (!path_.empty() && path_.back() == '\r')
        path_.pop_back();
    return true;
}

void EmuSoakBoard::pull()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

DeviceMap EmuSoakBoard::device(TDCBackend &)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (pid_ <= 0)
        return {};
    return {{"class", "Serial"}, {"name", path_}, {"serialNumber", ""}, {"description", "kestrane-emu"}};
}

} // namespace soak
