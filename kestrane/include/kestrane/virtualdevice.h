#pragma once
// A virtual board behind vetra's in-process FT60x device: bytes the host writes to the OUT
// pipe are decoded into packets for the board, the board's packets go back on the IN pipe.
//
// Ownership: vetra's virtual-device list holds the provider (shared); the provider owns its
// board. Threads: fromHost runs on the host's write thread; the board's pacing thread runs
// while a host has the device open and sends pushed samples from there.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include <vetra/ft60x_virtual.h>

#include "kestrane/board.h"
#include "kestrane/wire.h"

namespace kestrane {

class VirtualDevice : public ft60x_virtual::provider {
public:
    // `pace`: run the board on its own pacing thread while attached (false for tests that
    // drive the board's clock by hand).
    explicit VirtualDevice(std::unique_ptr<Board> board, bool pace = true);
    ~VirtualDevice() override;

    void attach(ft60x_virtual::device_port *port) override;
    void fromHost(const std::uint8_t *data, std::size_t size) override;
    void detach() override;

    Board &board() { return *board_; }
    bool attached() const;
    std::uint64_t badFrames() const;

private:
    void toHost(std::uint8_t stream, const std::vector<std::uint32_t> &payload);

    std::unique_ptr<Board> board_;
    bool pace_;
    mutable std::mutex portMutex_;
    ft60x_virtual::device_port *port_ = nullptr;
    mutable std::mutex readerMutex_;
    wire::FrameReader reader_;
};

// The serial number and description a virtual board is listed with; both say it is virtual.
// FT60x serial numbers hold at most 15 characters, hence the short form.
std::string virtualSerialNumber(unsigned index);
extern const char *const virtualDescription;

// Registers virtual boards KEST-VIRTUAL-0 … n-1 with vetra's FT60x device list, each on
// the wall clock with the profile's seed plus its index. Boards already present are kept.
// Returns the number of boards now registered by this call.
unsigned registerVirtualBoards(unsigned count, const Profile &profile);

// Adds one board under a serial number of the caller's choice; false when the serial number
// is taken.
bool addVirtualBoard(const std::string &serialNumber, std::shared_ptr<VirtualDevice> device);

} // namespace kestrane
