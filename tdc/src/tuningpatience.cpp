#include "tuningpatience.h"

#include <algorithm>

namespace tdctuning {

using std::chrono::milliseconds;

Patience patienceFor(std::uint32_t steps, std::chrono::microseconds gate, milliseconds requestTimeout)
{
    const auto boardTime = std::chrono::duration_cast<milliseconds>(gate * std::max<std::uint32_t>(steps, 1));
    const auto gateMs = std::chrono::duration_cast<milliseconds>(gate);
    Patience p;
    // As long again as the board needs, and a few round trips of a slow link.
    p.expected = 2 * boardTime + milliseconds(3000);
    // A step that a starved board takes ten times as long as it should still counts as moving.
    p.stall = std::max(milliseconds(3000), 10 * gateMs);
    // A board that sweeps many channels on a starved host (a virtual board above all) may
    // be too busy to answer for a while; it is given up only when it has been silent for
    // twice as long as the whole run should take, and for many request time-outs. A board
    // that is unplugged says so at once and does not wait for this.
    p.silence = std::max({milliseconds(3000), 10 * requestTimeout, 2 * p.expected});
    p.cap = 5 * p.expected + p.silence;
    return p;
}

Watch::Watch(const Patience &p, Clock::time_point start)
    : patience_(p), start_(start), lastAnswer_(start), lastProgress_(start)
{
}

void Watch::answered(Clock::time_point now, bool progressed)
{
    lastAnswer_ = std::max(lastAnswer_, now);
    if (progressed)
        lastProgress_ = std::max(lastProgress_, now);
}

Watch::Verdict Watch::verdict(Clock::time_point now) const
{
    if (now - lastAnswer_ >= patience_.silence)
        return Verdict::Silent;
    if (now - start_ >= patience_.cap)
        return Verdict::Overdue;
    if (now - start_ >= patience_.expected && now - lastProgress_ >= patience_.stall)
        return Verdict::Overdue;
    return Verdict::Wait;
}

milliseconds Watch::silentFor(Clock::time_point now) const
{
    return std::chrono::duration_cast<milliseconds>(now - lastAnswer_);
}

} // namespace tdctuning
