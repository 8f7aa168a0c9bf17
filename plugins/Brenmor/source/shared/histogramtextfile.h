#pragma once
// The histogram text file: one block per histogram, appended to the file so that repeated
// exports add blocks one after the other.
//
//   # ---------- <name> ---------- #
//   # Bin value [s], Counts
//   <bin value>,<count>            one line per bin; the value is left + (i + 1) × bin width
//   # ---------------------------------------- #
//   <empty line>
//
// Numbers are written as in the C locale; lines end with a single line feed. Pure text
// building plus one appending write; safe on any thread.

#include <QString>

#include <cstddef>
#include <string>

namespace histfile {

// `comments` (whole lines, each ending with a line feed) go between the title and the column
// line; the plain block has none.
void appendHistogramBlock(std::string &out, const std::string &name, double left, double binWidth,
                          const double *counts, std::size_t n, const std::string &comments = std::string());
// Appends text to the file at path, creating it when absent. False, with nothing written,
// when the file cannot be opened; false too when the write falls short.
bool appendToFile(const QString &path, const std::string &text);

} // namespace histfile
