#pragma once
// The histogrammers of one time-trigger run, enabled and disabled together. Board modules go
// into one `TDCHistogrammerModule::Group`, so they start on the same window boundaries; the
// group holds them weakly, so a module destroyed during a run (the board was disconnected)
// simply leaves it. A device that is not a board's (a scripted one) is enabled and disabled on
// its own and must outlive its membership.
// Threads: GUI thread (the time-trigger model).

#include <chrono>
#include <cstdint>
#include <vector>

#include "histogrammerdevice.h"

class TriggerGroup {
public:
    void add(HistogrammerDevice &device);
    void remove(HistogrammerDevice &device);
    void enable(std::chrono::duration<double> period, std::uint32_t repetitions);
    void disable();

private:
    TDCHistogrammerModule::Group m_group;
    std::vector<HistogrammerDevice *> m_standalone;
};
