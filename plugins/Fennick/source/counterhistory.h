#pragma once
// Per-channel rate histories of a counter module: one fixed-length history per channel, oldest
// value first, shifted by one on every sample. A plain value, no threads.

#include <QVector>

#include <cstdint>
#include <vector>

class CounterHistory {
public:
    CounterHistory(int channels, int length);

    // Appends counts[i] / dt to history i and drops its oldest value. Counts for channels
    // beyond the histories are ignored. A sample without counts or with a duration that is not
    // positive carries no rate and is refused (false).
    bool applySample(double dt, const std::vector<std::uint32_t> &counts);
    // Shrinking keeps the first `length` values of each history, growing appends zeros.
    void setLength(int length);

    const QVector<QVector<double>> &histories() const { return m_histories; }
    // Rate of the sync channel (index 0) in the latest sample.
    double clock() const { return m_clock; }
    int length() const { return m_length; }

private:
    QVector<QVector<double>> m_histories;
    double m_clock = 0;
    int m_length;
};
