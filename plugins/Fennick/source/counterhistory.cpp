#include "counterhistory.h"

#include <algorithm>

CounterHistory::CounterHistory(int channels, int length)
    : m_histories(std::max(channels, 0), QVector<double>(std::max(length, 0), 0.0)),
      m_length(std::max(length, 0))
{
}

bool CounterHistory::applySample(double dt, const std::vector<std::uint32_t> &counts)
{
    if (counts.empty() || !(dt > 0))
        return false;
    const std::size_t n = std::min<std::size_t>(counts.size(), std::size_t(m_histories.size()));
    for (std::size_t i = 0; i < n; ++i) {
        QVector<double> &history = m_histories[int(i)];
        if (!history.isEmpty())
            history.removeFirst();
        history.append(counts[i] / dt);
    }
    m_clock = counts[0] / dt;
    return true;
}

void CounterHistory::setLength(int length)
{
    length = std::max(length, 0);
    m_length = length;
    for (QVector<double> &history : m_histories)
        history.resize(length); // QVector value-initialises new doubles to zero
}
