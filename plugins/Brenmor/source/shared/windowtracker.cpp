#include "windowtracker.h"

#include <algorithm>

void WindowTracker::start(std::size_t histograms)
{
    m_lastWindow.assign(histograms, -1);
    m_lostBy.assign(histograms, 0);
    m_received.assign(histograms, false);
    m_lastDelivered.assign(histograms, false);
    m_winNum = 0;
    m_lostWindows = 0;
}

WindowTracker::Step WindowTracker::deliver(std::size_t h, std::uint32_t w, bool last)
{
    Step step;
    if (h >= m_received.size()) {
        // Not a member of this run (a wrapper added after the start): it cannot complete a
        // window, but an empty run still ends at once.
        step.finished = m_received.empty();
        return step;
    }
    m_lastDelivered[h] = last;
    if (m_lastWindow[h] != -1)
        m_lostBy[h] += std::max<std::int64_t>(0, std::int64_t(w) - m_lastWindow[h] - 1);
    m_lastWindow[h] = w;

    if (m_received[h]) {
        step.overrun = true;
    } else {
        m_received[h] = true;
        if (std::all_of(m_received.begin(), m_received.end(), [](bool b) { return b; })) {
            step.complete = true;
            // A window that comes back behind the last exported one (a histogram catching up
            // after an overrun) skipped nothing; the difference must not wrap around.
            step.lost = w > m_winNum ? w - m_winNum - 1 : 0;
        }
    }
    if (step.complete || step.overrun)
        std::fill(m_received.begin(), m_received.end(), false);
    step.finished = std::all_of(m_lastDelivered.begin(), m_lastDelivered.end(), [](bool b) { return b; });
    return step;
}

void WindowTracker::exportDone(std::uint32_t w, std::uint32_t lost)
{
    m_winNum = w;
    m_lostWindows += lost;
}
