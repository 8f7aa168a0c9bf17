#pragma once
// The time tagger's consumer: it sends each batch of tags either to the raw-file writer of a
// recording or to the preview histogram of time differences between a reference and a
// measure channel, never to both.
//
// Threads: handleBatch() runs on the device library's capture thread; compute_draw_vector()
// on a pool thread; everything else on the GUI thread. Two locks: the writer lock is held for
// a whole batch written to the file, so handing a writer over or taking it away waits for the
// batch being written; the histogram lock guards the counts and the reference state.
//
// Ownership: the worker owns the writer of the recording in progress; it is shared with the
// capture callback, which keeps it alive for as long as the module may still call it.

#include <QVector>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "bincounts.h"
#include "tdc/dorrin.h"

class TTMWorker {
public:
    // `scale` turns a difference of tag times into bins of 10 ps: the tag unit / 1e-11 s.
    explicit TTMWorker(double scale);

    double scale() const { return m_scale; }

    // The measurement handler: the batch goes to the writer while saving, else to the
    // preview while it is on, else nowhere.
    void handleBatch(const std::vector<Dorrin::measurement> &batch);

    // Adds the pairs of reference and measure tags found in the batch to the histogram.
    void addBatch(const Dorrin::measurement *tags, std::size_t count);
    void addBatch(const std::vector<Dorrin::measurement> &batch) { addBatch(batch.data(), batch.size()); }

    // Pairs of (width in seconds, count) in ascending bin order, with gaps as zero bars.
    QVector<double> compute_draw_vector();

    // Channel changes keep the histogram; they only forget the last reference seen.
    void setReference(unsigned channel, std::uint8_t edge);
    void setMeasure(unsigned channel, std::uint8_t edge);
    void clearHistogram();
    std::size_t binCount() const;
    std::uint64_t binValue(std::uint64_t bin) const;

    void setPreview(bool on) { m_preview.store(on); }
    bool preview() const { return m_preview.load(); }
    void setSaving(bool on) { m_saving.store(on); }
    bool saving() const { return m_saving.load(); }

    // Installs the writer of a new recording; a previous one is closed first.
    void setWriter(std::unique_ptr<Dorrin::file_writer> writer);
    // What a closed writer left behind.
    struct WriterSummary {
        bool closed = false;       // there was a writer
        std::uint64_t bytes = 0;   // on disk
        std::uint64_t tags = 0;    // written
        std::uint64_t lost = 0;    // handed to it but not written (stopped writer, disk refused)
    };
    // Takes the writer away (no batch reaches it once it is taken), then flushes and closes it.
    WriterSummary closeWriter();
    bool hasWriter() const;
    // Bytes the current writer (or the last one, once it is gone) has put on disk.
    std::uint64_t writtenBytes() const { return m_writtenBytes.load(); }
    // Tags handed to writers since the last setWriter, whether or not they were written.
    std::uint64_t tagsToWriter() const { return m_tagsToWriter.load(); }

private:
    void addBins(const std::uint64_t *bins, std::size_t count);

    const double m_scale;

    std::atomic<bool> m_preview{false};
    std::atomic<bool> m_saving{false};

    mutable std::mutex m_writerMutex;
    std::unique_ptr<Dorrin::file_writer> m_writer;
    std::atomic<std::uint64_t> m_writtenBytes{0};
    std::atomic<std::uint64_t> m_tagsToWriter{0};

    mutable std::mutex m_histogramMutex;
    unsigned m_refChannel = 0;
    std::uint8_t m_refEdge = 2;
    unsigned m_measChannel = 0;
    std::uint8_t m_measEdge = 2;
    bool m_referenceSeen = false;
    std::uint64_t m_lastReference = 0;
    BinCounts m_counts;
};
