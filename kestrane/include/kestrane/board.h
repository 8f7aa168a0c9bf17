#pragma once
// The virtual Kestrane board: the firmware's side of the memory protocol over its modules
// (module table, master, TDC channels, counters, …), all reading one event engine on a clock.
//
// Ownership: the board owns its modules and its event engine, which outlives them. Output goes to the sink set with
// setOutput (a transport: the virtual FT60x device, a pseudo-terminal).
// Threads: handlePacket and service may be called from any thread; one mutex serialises all
// module work. Packets are handed to the sink after that mutex is released, each whole, in
// the order the board made them, under a separate output lock; a sink must not call back
// into the board. start() runs a pacing
// thread that calls service() when work falls due on the wall clock; without it (tests on a
// manual clock) the caller drives service(). While paced, board time slips behind the clock
// when the host cannot keep up, so no step or request owes more than a few tens of
// milliseconds of board time; slipped() says how far.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "kestrane/clock.h"
#include "kestrane/profile.h"

namespace kestrane {

class Module;
class EventEngine;
class ReplayPacer;
class BoardTime;
struct HistogrammerBank;

struct FirmwareIdentity {
    std::int64_t compileTime = 0; // 100 ns units since 1970-01-01 UTC
    std::string tag;
    // The identity of this build: its build time and the repository state it came from.
    static FirmwareIdentity ofThisBuild();
};

class Board {
public:
    using Output = std::function<void(std::uint8_t stream, const std::vector<std::uint32_t> &payload)>;

    static constexpr std::uint8_t readStream = 1;
    static constexpr std::uint8_t writeStream = 2;
    static constexpr std::uint8_t timeTagStream = 3;
    static constexpr std::uint32_t masterBase = 0x1000;
    static constexpr std::uint32_t tdcBase = 0x1100;
    static constexpr std::uint32_t processedCounterBase = 0x1200;
    static constexpr std::uint32_t inputCounterBase = 0x1300;
    static constexpr std::uint32_t timeTaggerBase = 0x1400;
    static constexpr std::uint32_t histogrammerBase = 0x100000; // histogrammer i at base + i·stride
    static constexpr std::uint32_t histogrammerStride = 0x200000;
    static constexpr std::uint32_t legacyHistogrammerBase = 0x4000000;
    static constexpr std::uint32_t dacBase = 0x4010000;

    // `seed` overrides the profile's seed.
    explicit Board(const Profile &profile = defaultProfile(), Clock clock = wallClock(),
                   std::optional<std::uint64_t> seed = std::nullopt,
                   FirmwareIdentity identity = FirmwareIdentity::ofThisBuild());
    ~Board();
    Board(const Board &) = delete;
    Board &operator=(const Board &) = delete;

    void setOutput(Output output);

    // A packet from the host. Memory requests on streams 1 and 2 are answered through the
    // output; other streams are ignored.
    void handlePacket(std::uint8_t stream, const std::vector<std::uint32_t> &payload);
    // Does the work due at the clock's current time (finished counter periods).
    void service();
    // Board time of the next work.
    std::chrono::nanoseconds nextDue() const;
    // The host closed the link: stop pushing.
    void hostDetached();

    // Paces service() on the wall clock until stop() or destruction, on a thread of this name.
    static constexpr const char *pacingThreadName = "kestrane-pace";
    void start();
    void stop();
    // How far board time has fallen behind the clock because the host could not keep up.
    std::chrono::nanoseconds slipped() const;

    // Direct register access without the wire, for tests; returns the status word.
    std::uint32_t readWord(std::uint32_t address, std::uint32_t &value);
    std::uint32_t writeWord(std::uint32_t address, std::uint32_t value);

    const Profile &profile() const { return profile_; }
    // The events every module reads. Use only under the board's lock: from inside a module,
    // or in tests that drive the board by hand.
    EventEngine &events() { return *events_; }

private:
    struct Mapped {
        std::uint32_t base;
        std::unique_ptr<Module> module;
    };
    Module *find(std::uint32_t address, std::uint32_t &offset) const;
    void memoryRequest(bool isRead, const std::vector<std::uint32_t> &payload,
                       std::vector<std::uint32_t> &response);
    void emit(std::unique_lock<std::mutex> &boardLock,
              std::vector<std::pair<std::uint8_t, std::vector<std::uint32_t>>> &packets);
    void pace();
    std::unique_ptr<Module> makeLegacyHistogrammer();
    std::unique_ptr<Module> makeDacModule();
    bool replayExhausted() const;

    Profile profile_;
    Clock clock_;
    std::unique_ptr<ReplayPacer> replayPacer_; // "fast" replay: board time leaps ahead
    std::unique_ptr<BoardTime> time_;          // what every module reads
    std::unique_ptr<EventEngine> events_;
    std::unique_ptr<HistogrammerBank> histogrammers_; // group commands reach every member
    std::vector<Mapped> modules_; // sorted by base; destroyed before the engine

    mutable std::mutex mutex_; // modules and signal model
    std::mutex outputMutex_;   // the sink, so packets leave whole
    Output output_;

    std::mutex paceMutex_;
    std::condition_variable paceWake_;
    bool paceStop_ = false;
    std::thread pacer_;
};

} // namespace kestrane
