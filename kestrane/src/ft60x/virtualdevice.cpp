#include "kestrane/virtualdevice.h"

#include <iostream>

namespace kestrane {

const char *const virtualDescription = "Kestrane virtual board";

std::string virtualSerialNumber(unsigned index)
{
    return "KEST-VIRTUAL-" + std::to_string(index);
}

VirtualDevice::VirtualDevice(std::unique_ptr<Board> board, bool pace)
    : board_(std::move(board)), pace_(pace)
{
    board_->setOutput([this](std::uint8_t stream, const std::vector<std::uint32_t> &payload) {
        toHost(stream, payload);
    });
}

VirtualDevice::~VirtualDevice()
{
    board_->stop();
    board_->setOutput({});
}

void VirtualDevice::attach(ft60x_virtual::device_port *port)
{
    {
        std::lock_guard<std::mutex> lock(readerMutex_);
        reader_.reset();
    }
    {
        std::lock_guard<std::mutex> lock(portMutex_);
        port_ = port;
    }
    if (pace_)
        board_->start();
}

void VirtualDevice::detach()
{
    // Stop pacing first: the pacer may be sending through the port, which stays valid until
    // this returns.
    board_->stop();
    {
        std::lock_guard<std::mutex> lock(portMutex_);
        port_ = nullptr;
    }
    board_->hostDetached();
}

void VirtualDevice::fromHost(const std::uint8_t *data, std::size_t size)
{
    std::lock_guard<std::mutex> lock(readerMutex_);
    reader_.feed(data, size, [this](std::uint8_t stream, std::vector<std::uint32_t> payload) {
        board_->handlePacket(stream, payload);
    });
}

void VirtualDevice::toHost(std::uint8_t stream, const std::vector<std::uint32_t> &payload)
{
    const auto bytes = wire::encode(stream, payload);
    std::lock_guard<std::mutex> lock(portMutex_);
    if (port_ && !bytes.empty())
        port_->toHost(bytes.data(), bytes.size());
}

bool VirtualDevice::attached() const
{
    std::lock_guard<std::mutex> lock(portMutex_);
    return port_ != nullptr;
}

std::uint64_t VirtualDevice::badFrames() const
{
    std::lock_guard<std::mutex> lock(readerMutex_);
    return reader_.badFrames();
}

bool addVirtualBoard(const std::string &serialNumber, std::shared_ptr<VirtualDevice> device)
{
    return ft60x_virtual::addDevice({serialNumber, virtualDescription}, std::move(device));
}

unsigned registerVirtualBoards(unsigned count, const Profile &profile)
{
    unsigned added = 0;
    for (unsigned i = 0; i < count; ++i) {
        std::unique_ptr<Board> board;
        try {
            board = std::make_unique<Board>(profile, wallClock(), profile.seed + i);
        } catch (const std::exception &e) {
            // A replay file that cannot be read: no board rather than a crash.
            std::cerr << "kestrane: no virtual board: " << e.what() << "\n";
            return added;
        }
        if (addVirtualBoard(virtualSerialNumber(i), std::make_shared<VirtualDevice>(std::move(board))))
            ++added;
    }
    return added;
}

} // namespace kestrane
