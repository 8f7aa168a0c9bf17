#pragma once
// A run of several live histograms fed at a fixed window period from a thread of their own,
// as the device library would feed them, with the GUI thread's event loop doing the rest:
// either plain live display or a time-trigger run exporting every window to text files.
// Reports what the GUI thread could keep up with.

#include <QString>

#include <cstdint>

struct LiveRunOptions {
    int histograms = 4;
    std::uint32_t bins = 65536;
    int windowMs = 20;
    double seconds = 60;
    bool timeTrigger = true;
    // Keep every file written (the disk's own rate then bounds the run) instead of deleting
    // the files of windows already written and counted.
    bool keepFiles = false;
};

struct LiveRunResult {
    std::uint64_t windowsDelivered = 0;  // windows the feeder delivered to every histogram
    std::uint64_t windowsExported = 0;   // windows the run exported
    std::uint32_t lostWindows = 0;
    std::uint64_t droppedBlocks = 0;     // blocks the wrappers dropped, the GUI thread being too far behind
    std::uint64_t maxLagWindows = 0;     // most windows the GUI thread was behind the feeder
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;             // savedFilesSize at the end
    std::size_t maxWriterBacklog = 0;    // most files waiting for the writer thread
    double guiBusyShare = 0;             // CPU time of the GUI thread / wall time
    double maxTimerLatenessMs = 0;       // worst lateness of a 10 ms timer on the GUI thread
    double seconds = 0;
};

LiveRunResult runLive(const LiveRunOptions &options);
