#pragma once
// Bookkeeping of a time-trigger run: which histograms have delivered which window, which
// windows were lost, and when the run is over. A plain value used on the GUI thread by the
// time-trigger model.
//
// Windows are assembled by their index: histograms that deliver at different paces (one a
// window or two ahead of another, as separate callback threads do on a busy machine) still
// complete every window they all delivered. A window completes when every histogram has
// delivered it; windows before it that are still incomplete can no longer be exported in order
// and are lost. A histogram that delivers the same window twice abandons that window. At most
// maxAssembling windows are assembled at once; older ones are given up.

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

class WindowTracker {
public:
    static constexpr std::size_t maxAssembling = 8;

    struct Step {
        bool complete = false;  // every histogram delivered window w: export it
        bool overrun = false;   // a histogram delivered window w twice: it is abandoned
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
    // Windows being assembled (delivered by some histograms, not yet by all).
    std::vector<std::uint32_t> assembling() const;

    std::uint32_t winNum() const { return m_winNum; }
    std::uint32_t lostWindows() const { return m_lostWindows; }
    std::uint32_t lostBy(std::size_t h) const { return std::uint32_t(m_lostBy.at(h)); }
    std::size_t histograms() const { return m_lastWindow.size(); }

private:
    std::vector<std::int64_t> m_lastWindow;
    std::vector<std::int64_t> m_lostBy;
    std::vector<bool> m_lastDelivered;
    // Window index → which histograms delivered it.
    std::map<std::uint32_t, std::vector<bool>> m_windows;
    std::uint32_t m_winNum = 0;
    std::uint32_t m_lostWindows = 0;
};
