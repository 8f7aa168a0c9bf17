#include "ttmworker.h"

#include <QDebug>
#include <QStringList>

#include <algorithm>
#include <utility>

namespace {
// The preview's debug lines show only the start of the data: a busy histogram would
// otherwise write megabytes a second into the log.
constexpr std::size_t logEntries = 8;
constexpr double binWidth = 1e-11;
// The largest double below 2^64: products at or above it have no 64-bit bin.
constexpr double binLimit = 18446744073709549568.0;
constexpr std::size_t binBuffer = 256;
} // namespace

TTMWorker::TTMWorker(double scale) : m_scale(scale) {}

void TTMWorker::handleBatch(const std::vector<Dorrin::measurement> &batch)
{
    if (m_saving.load()) {
        std::lock_guard<std::mutex> lock(m_writerMutex);
        if (m_writer) {
            m_tagsToWriter.fetch_add(batch.size());
            m_writer->write(batch);
            m_writtenBytes.store(m_writer->bytes_written());
            return;
        }
    }
    // Re-read under no lock: a recording that started meanwhile wants nothing here, and the
    // preview was switched off before it started.
    if (!m_saving.load() && m_preview.load())
        addBatch(batch);
}

void TTMWorker::addBatch(const Dorrin::measurement *tags, std::size_t count)
{
    std::uint64_t bins[binBuffer];
    std::size_t pending = 0;
    std::lock_guard<std::mutex> lock(m_histogramMutex);
    const unsigned refChannel = m_refChannel;
    const unsigned refEdge = m_refEdge;
    const unsigned measChannel = m_measChannel;
    const unsigned measEdge = m_measEdge;
    bool seen = m_referenceSeen;
    std::uint64_t reference = m_lastReference;
    for (std::size_t i = 0; i < count; ++i) {
        const Dorrin::measurement &m = tags[i];
        if (m.channel == refChannel && m.edge == refEdge) {
            reference = m.tag;
            seen = true;
            continue;
        }
        if (!seen || m.channel != measChannel || m.edge != measEdge)
            continue;
        const auto difference = static_cast<std::int64_t>(m.tag - reference);
        // A measure tag before its reference has no bin: dropping it keeps it from landing
        // at the far end of the range.
        if (difference < 0)
            continue;
        const double scaled = static_cast<double>(difference) * m_scale;
        if (!(scaled < binLimit))
            continue;
        bins[pending++] = static_cast<std::uint64_t>(scaled);
        if (pending == binBuffer) {
            m_counts.add(bins, pending);
            pending = 0;
        }
    }
    m_counts.add(bins, pending);
    m_referenceSeen = seen;
    m_lastReference = reference;
}

QVector<double> TTMWorker::compute_draw_vector()
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> bins;
    {
        std::lock_guard<std::mutex> lock(m_histogramMutex);
        bins = m_counts.sorted();
    }
    QStringList shown;
    for (std::size_t i = 0; i < std::min(bins.size(), logEntries); ++i)
        shown << QStringLiteral("%1: %2").arg(bins[i].first).arg(bins[i].second);
    if (bins.size() > logEntries)
        shown << QStringLiteral("... %1 bins").arg(bins.size());
    qDebug().noquote() << QStringLiteral("DATA MAP: {") + shown.join(QStringLiteral(", ")) + QLatin1Char('}');

    QVector<double> out;
    if (bins.empty())
        return out;
    out.reserve(std::max<int>(8192, int(std::min<std::size_t>(bins.size() * 4, 1u << 30))));
    std::uint64_t previous = 0;
    for (const auto &[bin, count] : bins) {
        if (bin - previous > 1) {
            out.append(double(bin - previous - 1) * binWidth);
            out.append(0.0);
        }
        out.append(binWidth);
        out.append(double(count));
        previous = bin;
    }
    return out;
}

void TTMWorker::setReference(unsigned channel, std::uint8_t edge)
{
    std::lock_guard<std::mutex> lock(m_histogramMutex);
    m_refChannel = channel;
    m_refEdge = edge;
    m_referenceSeen = false;
}

void TTMWorker::setMeasure(unsigned channel, std::uint8_t edge)
{
    std::lock_guard<std::mutex> lock(m_histogramMutex);
    m_measChannel = channel;
    m_measEdge = edge;
    m_referenceSeen = false;
}

void TTMWorker::clearHistogram()
{
    std::lock_guard<std::mutex> lock(m_histogramMutex);
    m_counts.clear();
    m_referenceSeen = false;
    m_lastReference = 0;
}

std::size_t TTMWorker::binCount() const
{
    std::lock_guard<std::mutex> lock(m_histogramMutex);
    return m_counts.size();
}

std::uint64_t TTMWorker::binValue(std::uint64_t bin) const
{
    std::lock_guard<std::mutex> lock(m_histogramMutex);
    return m_counts.count(bin);
}

void TTMWorker::setWriter(std::unique_ptr<Dorrin::file_writer> writer)
{
    std::unique_ptr<Dorrin::file_writer> old;
    {
        std::lock_guard<std::mutex> lock(m_writerMutex);
        old = std::exchange(m_writer, std::move(writer));
        m_writtenBytes.store(m_writer ? m_writer->bytes_written() : 0);
        m_tagsToWriter.store(0);
    }
    // Closed outside the lock: the capture thread need not wait for the old file's last block.
}

TTMWorker::WriterSummary TTMWorker::closeWriter()
{
    std::unique_ptr<Dorrin::file_writer> writer;
    {
        std::lock_guard<std::mutex> lock(m_writerMutex);
        writer = std::move(m_writer);
    }
    WriterSummary summary;
    if (!writer)
        return summary;
    writer->flush();
    summary.closed = true;
    summary.bytes = writer->bytes_written();
    summary.tags = writer->tags_written();
    summary.lost = writer->lost_events();
    writer.reset();
    m_writtenBytes.store(summary.bytes);
    return summary;
}

bool TTMWorker::hasWriter() const
{
    std::lock_guard<std::mutex> lock(m_writerMutex);
    return m_writer != nullptr;
}
