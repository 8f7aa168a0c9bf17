#pragma once
// The arithmetic of the legacy histogrammer's model, apart from any object: the constants
// derived from the board's counter widths, the events rate between two blocks, and the
// extension a finished export reports. Pure functions, no threads.

#include <QString>

#include <cstdint>

struct LegacyConstants {
    unsigned bitTimeStamp = 0; // bits of a time stamp: coarse + fine + overflow
    unsigned maxBitTrunc = 0;  // the truncation that still leaves a bin per histogram address
    double maxFSR = 0;         // seconds: the whole time-stamp range
    double minWindowFSR = 0;   // seconds: the histogram's range at the finest bin width
};

LegacyConstants legacyConstants(unsigned bitCoarse, unsigned bitFine, unsigned bitOverflow,
                                unsigned binAddrWidth, double minBinWidth);

// Events per second between two blocks: (total − previous total) over the time between
// them. Two blocks too close together to tell apart in time carry no rate of their own: the
// previous rate stands.
double eventsRate(std::uint64_t previousTotal, std::uint64_t total, std::int64_t previousNs, std::int64_t nowNs,
                  double previousRate);

// The extension (with its dot) a finished export stands for: a bare extension as given, or
// the extension of the file name of a path ("/data/run.2/run0.png" gives ".png", whatever
// dots the folders carry). Empty when there is none.
QString completedExtension(const QString &pathOrExtension);

