#pragma once
// A counter module: per-channel event counts over an integration time, pushed by the board.
//
// Threads: the sample callback runs on the link's receive thread. It is handed the
// library's mutex unlocked; the callee locks it while it touches data it shares with
// the library's other users. No other lock of the library is held during the call.
// The callback runs on the thread that receives the board's answers: the module's blocking
// operations called from inside it cannot complete and end with a time-out error.
// Destroying the module (or its TDCBackend) waits for a running callback to return.

#include "tdc/tdcexport.h"
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "tdc/tessaronmodule.h"

class TDCLink;

class TDC_EXPORT TDCFennick : public TessaronModule {
public:
    static constexpr std::uint32_t TypeID = 0x0010;
    std::uint32_t typeID() const override { return TypeID; }

    using Callback = std::function<void(std::mutex &, std::chrono::duration<double>,
                                        const std::vector<std::uint32_t> &)>;

    TDCFennick(std::uint32_t base, std::uint32_t size, TessaronVersion hw, TessaronVersion sw,
               std::shared_ptr<TDCLink> link, std::uint32_t numChannels, int inputLogic);
    ~TDCFennick() override;

    bool autoPushEnabled() const;
    std::error_code setAutoPush(bool enabled);
    // Returns the callback that was installed before.
    Callback setCallback(Callback cb);
    // Returns the time the board applied (its clock quantises the request).
    std::pair<std::error_code, double> setIntegrationTime(double seconds);
    double integrationTime() const;
    // Non-zero when the module counts raw input rather than processed events.
    int inputLogic() const { return inputLogic_; }
    std::uint32_t numChannels() const { return numChannels_; }

private:
    struct State;
    std::shared_ptr<State> state_;
    int inputLogic_;
    std::uint32_t numChannels_;
};
