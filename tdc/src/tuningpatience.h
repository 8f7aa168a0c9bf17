#pragma once
// How long the threshold tuning's watcher waits on the board, as plain rules on time points
// so that they can be checked without a board.
//
// The board's run takes steps × gate of board time whatever the number of channels, but a
// loaded host (or a virtual board sharing its cores) stretches it, and polls time out now and
// then while the board is still working. So the watcher gives up for one of two reasons only:
// the board has not answered at all for a long time (many request time-outs), or the run is
// well past its expected length and the sweeping channels have stopped moving.

#include <chrono>
#include <cstdint>

namespace tdctuning {

using Clock = std::chrono::steady_clock;

struct Patience {
    // Expected length of the run; with no progress after this, the run is overdue.
    std::chrono::milliseconds expected{};
    // Past `expected`, how long the channels may stand still before the run is given up.
    std::chrono::milliseconds stall{};
    // Longest time without any answer from the board.
    std::chrono::milliseconds silence{};
    // Nothing runs past this, progress or not.
    std::chrono::milliseconds cap{};
};

// The patience for a sweep of `steps` × `gate` over a link whose requests time out after
// `requestTimeout`.
Patience patienceFor(std::uint32_t steps, std::chrono::microseconds gate, std::chrono::milliseconds requestTimeout);

class Watch {
public:
    enum class Verdict { Wait, Silent, Overdue };

    Watch(const Patience &p, Clock::time_point start);
    // A poll the board answered at `now`; `progressed` when a channel's code or state moved.
    void answered(Clock::time_point now, bool progressed);
    Verdict verdict(Clock::time_point now) const;
    std::chrono::milliseconds silentFor(Clock::time_point now) const;

private:
    Patience patience_;
    Clock::time_point start_;
    Clock::time_point lastAnswer_;
    Clock::time_point lastProgress_;
};

} // namespace tdctuning
