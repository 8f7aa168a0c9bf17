#pragma once
// The histogrammers of one time-trigger run, enabled and disabled together. Board modules go
// into one `TDCHistogrammerModule::Group`, so they start on the same window boundaries; a
// device that is not a board's (a scripted one) is enabled and disabled on its own.
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
    std::size_t size() const { return m_members.size(); }

private:
    TDCHistogrammerModule::Group m_group;
    std::vector<HistogrammerDevice *> m_members;
};
