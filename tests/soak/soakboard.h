#pragma once
// The boards the soak plugs in and pulls: a virtual board in this process, or kestrane-emu
// serving one on a pseudo-terminal. Each plug-in is a fresh board, as a board that was
// unplugged starts from power-up when it comes back.
//
// Threads: plugIn and device from the soak's loop; pull from any thread, at any moment,
// any number of times (the second and later calls do nothing).

#include <memory>
#include <mutex>
#include <string>

#include <kestrane/profile.h>
#include <kestrane/virtualdevice.h>

#include "tdc/tdcbackend.h"

namespace soak {

class SoakBoard {
public:
    virtual ~SoakBoard() = default;
    // Makes a fresh board present; false with a sentence in `error` when that fails.
    virtual bool plugIn(std::string &error) = 0;
    // The board vanishes at once, as if its cable were pulled or its process killed.
    virtual void pull() = 0;
    // What TDCBackend::open takes for the board present now; empty when it is not listed.
    virtual DeviceMap device(TDCBackend &backend) = 0;
};

class InProcessSoakBoard : public SoakBoard {
public:
    InProcessSoakBoard(kestrane::Profile profile, std::string serial);
    ~InProcessSoakBoard() override;
    bool plugIn(std::string &error) override;
    void pull() override;
    DeviceMap device(TDCBackend &backend) override;

private:
    kestrane::Profile profile_;
    std::string serial_;
    std::mutex mutex_;
    bool present_ = false;
};

class EmuSoakBoard : public SoakBoard {
public:
    // `emu`: the kestrane-emu program; `profileFile`: a profile for it, or empty.
    EmuSoakBoard(std::string emu, std::string profileFile);
    ~EmuSoakBoard() override;
    bool plugIn(std::string &error) override;
    // Kills the emulator with SIGKILL: nothing of it gets to say goodbye.
    void pull() override;
    DeviceMap device(TDCBackend &backend) override;

private:
    std::string emu_;
    std::string profileFile_;
    std::mutex mutex_;
    int pid_ = -1;
    std::string path_;
};

} // namespace soak
