#include "windowtracker.h"

#include <algorithm>

void WindowTracker::start(std::size_t histograms)
{
    m_lastWindow.assign(histograms, -1);
    m_lostBy.assign(histograms, 0);
    m_lastDelivered.assign(histograms, false);
    m_windows.clear();
    m_winNum = 0;
    m_lostWindows = 0;
}

std::vector<std::uint32_t> WindowTracker::assembling() const
{
    std::vector<std::uint32_t> windows;
    for (const auto &entry : m_windows)
        windows.push_back(entry.first);
    return windows;
}

WindowTracker::Step WindowTracker::deliver(std::size_t h, std::uint32_t w, bool last)
{
    Step step;
    const std::size_t n = m_lastWindow.size();
    if (h >= n) {
        // Not a member of this run (a wrapper added after the start): it cannot complete a
        // window, but an empty run still ends at once.
        step.finished = n == 0;
        return step;
    }
    m_lastDelivered[h] = last;
    if (m_lastWindow[h] != -1)
        m_lostBy[h] += std::max<std::int64_t>(0, std::int64_t(w) - m_lastWindow[h] - 1);
    m_lastWindow[h] = w;
    step.finished = std::all_of(m_lastDelivered.begin(), m_lastDelivered.end(), [](bool b) { return b; });

    // A window at or behind the last exported one was counted already (exported or lost).
    if (w <= m_winNum && m_winNum > 0)
        return step;
    auto it = m_windows.find(w);
    if (it == m_windows.end()) {
        it = m_windows.emplace(w, std::vector<bool>(n, false)).first;
        // Too far apart: the oldest window is given up (lost when a later one is exported).
        if (m_windows.size() > maxAssembling)
            m_windows.erase(m_windows.begin());
        it = m_windows.find(w);
        if (it == m_windows.end())
            return step;
    }
    if (it->second[h]) {
        step.overrun = true;
        m_windows.erase(it);
        return step;
    }
    it->second[h] = true;
    if (std::all_of(it->second.begin(), it->second.end(), [](bool b) { return b; })) {
        step.complete = true;
        step.lost = w > m_winNum ? w - m_winNum - 1 : 0;
        // Earlier windows still incomplete can no longer be exported in order.
        m_windows.erase(m_windows.begin(), std::next(it));
    }
    return step;
}

void WindowTracker::exportDone(std::uint32_t w, std::uint32_t lost)
{
    m_winNum = w;
    m_lostWindows += lost;
}
