#include "kestrane/ptyserver.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace kestrane {

namespace {
std::error_code lastError()
{
    return {errno, std::generic_category()};
}
// How long a write waits for a host that does not read before the packet is dropped.
constexpr int writeStallMs = 200;
} // namespace

PtyServer::PtyServer(Board &board) : board_(board) {}

PtyServer::~PtyServer()
{
    stop();
}

std::error_code PtyServer::start()
{
    if (master_ >= 0)
        return {};
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0)
        return lastError();
    char name[128] = {};
    if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0) {
        const auto ec = lastError();
        ::close(fd);
        return ec;
    }
    // Raw mode from the start: with echo on, the board would read its own answers back.
    const int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave >= 0) {
        termios t{};
        if (::tcgetattr(slave, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(slave, TCSANOW, &t);
        }
        ::close(slave);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    master_ = fd;
    path_ = name;
    stop_ = false;
    board_.setOutput([this](std::uint8_t stream, const std::vector<std::uint32_t> &payload) {
        write(stream, payload);
    });
    reader_ = std::thread([this] { readLoop(); });
    return {};
}

void PtyServer::stop()
{
    stop_ = true;
    if (reader_.joinable())
        reader_.join();
    board_.setOutput({});
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

void PtyServer::readLoop()
{
    bool hostPresent = false;
    std::uint8_t buf[65536];
    while (!stop_) {
        pollfd p{master_, POLLIN, 0};
        const int r = ::poll(&p, 1, 50);
        if (r < 0 && errno != EINTR)
            break;
        if (r <= 0)
            continue;
        if (p.revents & POLLIN) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) {
                hostPresent = true;
                frames_.feed(buf, static_cast<std::size_t>(n),
                             [this](std::uint8_t stream, std::vector<std::uint32_t> payload) {
                                 board_.handlePacket(stream, payload);
                             });
                continue;
            }
        }
        if (p.revents & (POLLHUP | POLLERR)) {
            // No host has the terminal open. A host that had it has gone: forget its half
            // frame and stop pushing to nobody.
            if (hostPresent) {
                hostPresent = false;
                frames_.reset();
                board_.hostDetached();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
}

void PtyServer::write(std::uint8_t stream, const std::vector<std::uint32_t> &payload)
{
    const auto bytes = wire::encode(stream, payload);
    std::lock_guard<std::mutex> lock(writeMutex_);
    std::size_t done = 0;
    while (done < bytes.size() && master_ >= 0) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            if (::poll(&p, 1, writeStallMs) > 0 && (p.revents & POLLOUT))
                continue;
        }
        // Nobody reads (no host, or a host that stalls): drop the rest. The zero word that
        // ends the next packet lets the host find its way back.
        return;
    }
}

} // namespace kestrane
