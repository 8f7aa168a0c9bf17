#include "board_sim.h"

#include <vetra/crc32c.h>
#include <vetra/packet_codec.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

board_sim::board_sim()
{
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    portName_ = name;
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    reader_ = std::thread([this] { readLoop(); });
}

board_sim::~board_sim()
{
    stop_ = true;
    reader_.join();
    releaseSlave();
    closeMaster();
}

void board_sim::releaseSlave()
{
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
}

void board_sim::closeMaster()
{
    if (!stop_) {
        // The reader thread closes the descriptor itself, never while it is reading it.
        closeRequested_ = true;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(writeMutex_);
                if (master_ < 0)
                    return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    std::lock_guard<std::mutex> lock(writeMutex_);
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

void board_sim::setScript(script s)
{
    std::lock_guard<std::mutex> lock(mutex_);
    script_ = std::move(s);
}

std::vector<std::uint32_t> board_sim::logicalPacket(std::uint8_t stream, const std::vector<std::uint32_t> &payload)
{
    std::vector<std::uint32_t> words;
    words.push_back(stream);
    words.insert(words.end(), payload.begin(), payload.end());
    words.push_back(crc32c::extend_words(0, words.data(), words.size()));
    return words;
}

std::vector<std::uint8_t> board_sim::encodePacket(std::uint8_t stream, const std::vector<std::uint32_t> &payload)
{
    return packet_codec::encode(stream, payload);
}

void board_sim::send(std::uint8_t stream, const std::vector<std::uint32_t> &payload)
{
    sendBytes(encodePacket(stream, payload));
}

void board_sim::sendBytes(const std::vector<std::uint8_t> &bytes)
{
    std::lock_guard<std::mutex> lock(writeMutex_);
    std::size_t done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

bool board_sim::next(packet &out, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!arrived_.wait_for(lock, timeout, [this] { return !queue_.empty(); }))
        return false;
    out = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

void board_sim::readLoop()
{
    std::vector<std::uint8_t> frame;
    std::uint8_t chunk[4096];
    while (!stop_) {
        int fd;
        {
            std::lock_guard<std::mutex> lock(writeMutex_);
            if (closeRequested_ && master_ >= 0) {
                ::close(master_);
                master_ = -1;
            }
            fd = master_;
        }
        if (fd < 0)
            return;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 20);
        if (ready <= 0 || !(p.revents & POLLIN))
            continue;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0)
            continue;
        // The encoding holds no zero byte, so every run of non-zero bytes is one packet.
        for (ssize_t i = 0; i < n; ++i) {
            if (chunk[i] != 0) {
                frame.push_back(chunk[i]);
            } else if (!frame.empty()) {
                handleFrame(frame);
                frame.clear();
            }
        }
    }
}

void board_sim::handleFrame(const std::vector<std::uint8_t> &frame)
{
    packet_codec::packet decoded;
    if (packet_codec::decode(frame.data(), frame.size(), decoded)) {
        ++badPackets_;
        return;
    }
    packet p;
    p.stream = decoded.stream;
    p.payload = std::move(decoded.payload);
    p.wire = frame;
    script s;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        s = script_;
    }
    if (s && s(*this, p))
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(p));
    }
    arrived_.notify_all();
}

void board_sim::answer(board_sim &board, const packet &request, std::uint32_t status)
{
    if (request.payload.size() < 3)
        return;
    const std::uint32_t id = request.payload[0];
    const std::uint32_t address = request.payload[1];
    const std::uint32_t control = request.payload[2];
    const std::uint32_t count = control & 0x1FFFFF;
    std::vector<std::uint32_t> response{id, address, control & ~(1u << 25)};
    if (request.payload.size() == 3) { // a read
        for (std::uint32_t i = 0; i < count; ++i)
            response.push_back(address + i);
    } else if (!(control & (1u << 25))) {
        return; // a write without a response
    }
    response.push_back(status);
    board.send(request.stream, response);
}
