#pragma once
// Boards for the tests: a virtual board in-process under a serial number of the test's own,
// kestrane-emu on a pseudo-terminal, and boards that misbehave (scripted memory, silence).

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <kestrane/board.h>
#include <kestrane/virtualdevice.h>
#include <kestrane/wire.h>
#include <vetra/ft60x_virtual.h>

#include "tdc/tdcbackend.h"

namespace testboards {

// The device map TDCBackend lists for `serial`, or empty.
DeviceMap findDevice(TDCBackend &backend, const std::string &serial);

// A board reached one way or another; `device()` is what open() takes.
class Board {
public:
    virtual ~Board() = default;
    virtual DeviceMap device(TDCBackend &backend) = 0;
    // Makes the board vanish as if unplugged or switched off.
    virtual void remove() = 0;
};

class InProcessBoard : public Board {
public:
    explicit InProcessBoard(const kestrane::Profile &profile = kestrane::defaultProfile());
    ~InProcessBoard() override;
    DeviceMap device(TDCBackend &backend) override { return findDevice(backend, serial_); }
    void remove() override;
    const std::string &serial() const { return serial_; }
    kestrane::VirtualDevice &virtualDevice() { return *device_; }

private:
    std::string serial_;
    std::shared_ptr<kestrane::VirtualDevice> device_;
};

class EmuBoard : public Board {
public:
    // Starts kestrane-emu --pty, with a profile written to a file when one is given.
    explicit EmuBoard(const std::string &profileJson = {});
    ~EmuBoard() override;
    DeviceMap device(TDCBackend &) override;
    void remove() override;
    const std::string &path() const { return path_; }

private:
    int pid_ = -1;
    std::string path_;
    std::string profileFile_;
};

// A board whose memory is a plain map the test fills in, answering on the wire like the
// virtual board; reads outside the map fail with a decode error. `silent` stops all answers.
class ScriptedBoard : public ft60x_virtual::provider {
public:
    std::map<std::uint32_t, std::uint32_t> memory;
    std::atomic<bool> silent{false};
    // The next this many requests go unanswered, as by a board too busy to answer in time.
    std::atomic<int> unansweredRequests{0};

    // Changes a word while the board may be answering (`memory` itself only before opening).
    void poke(std::uint32_t address, std::uint32_t value);

    void attach(ft60x_virtual::device_port *port) override;
    void fromHost(const std::uint8_t *data, std::size_t size) override;
    void detach() override;
    // Sends a packet of the board's own accord, as a counter pushing a sample does.
    void push(std::uint8_t stream, const std::vector<std::uint32_t> &payload);

protected:
    // Called, under the board's lock, before each answer goes out: a board that lies may send
    // other bytes first through `port`, change the answer, or change its memory for the next
    // request. `request` is the request's payload.
    virtual void beforeAnswer(std::uint8_t /*stream*/, const std::vector<std::uint32_t> & /*request*/,
                              std::vector<std::uint32_t> & /*answer*/, ft60x_virtual::device_port & /*port*/)
    {
    }

private:
    std::mutex mutex_;
    ft60x_virtual::device_port *port_ = nullptr;
    kestrane::wire::FrameReader reader_;
};

// A module table for ScriptedBoard: entries of {typeID, base, size}.
void writeTable(std::map<std::uint32_t, std::uint32_t> &memory,
                const std::vector<std::array<std::uint32_t, 3>> &entries);

// A fresh serial number for a device of the test's own, at most 15 characters.
std::string uniqueSerial(const char *prefix);

} // namespace testboards
