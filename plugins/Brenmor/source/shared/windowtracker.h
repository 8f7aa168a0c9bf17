#pragma once
// Bookkeeping of a time-trigger run: which histogram has delivered the window being
// assembled, which windows were lost, and when the run is over. A plain value used on the
// GUI thread by the time-trigger model.

#include <cstddef>
#include <cstdint>
#include <vector>

class WindowTracker {
public:
    struct Step {
        bool complete = false;  // every histogram delivered: export the window
        bool overrun = false;   // a histogram delivered twice: the window is abandoned
        bool finished = false;  // every histogram delivered its last window: stop the run
        std::uint32_t lost = 0; // windows skipped since the last exported one (when complete)
    };

    // Starts a run of `histograms` histograms.
    void start(std::size_t histograms);
    // Histogram h delivered window w; `last` when it was its last. Call exportDone() between a
    // complete step and the next call; it is separate so that the export can still read the
    // number of the window exported before.
    Step deliver(std::size_t h, std::uint32_t w, bool last);
    // Takes window w as exported.
    void exportDone(std::uint32_t w, std::uint32_t lost);
    // A window that was complete but could not be written counts as lost.
    void addLost(std::uint32_t n) { m_lostWindows += n; }

    std::uint32_t winNum() const { return m_winNum; }
    std::uint32_t lostWindows() const { return m_lostWindows; }
    std::uint32_t lostBy(std::size_t h) const { return std::uint32_t(m_lostBy.at(h)); }
    std::size_t histograms() const { return m_received.size(); }

private:
    std::vector<std::int64_t> m_lastWindow;
    std::vector<std::int64_t> m_lostBy;
    std::vector<bool> m_received;
    std::vector<bool> m_lastDelivered;
    std::uint32_t m_winNum = 0;
    std::uint32_t m_lostWindows = 0;
};
