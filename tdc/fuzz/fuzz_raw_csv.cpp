// The CSV form of raw tags read back line by line, as read-raw --check does: any text is a
// tag row, a loss marker or a named bad line. What is read as a row or marker is what the
// writer would have written for it (up to leading zeros), and reads back the same.
//
// Input: the file's text.

#include "fuzz_input.h"

#include "tdc/rawformat.h"

#include <string>

namespace {

bool canonical(const std::string &line)
{
    // No leading zeros in any number: then the writer's text is the line itself.
    for (std::size_t i = 0; i + 1 < line.size(); ++i)
        if (line[i] == '0' && (i == 0 || line[i - 1] == ',') && line[i + 1] != ',')
            return false;
    return true;
}

} // namespace

int fuzz_raw_csv(const std::uint8_t *data, std::size_t size)
{
    fuzz::input in(data, size);
    std::size_t number = 0;
    while (!in.empty()) {
        const std::string line = in.until('\n');
        if (++number == 1)
            continue; // the column names, compared as a whole by the reader
        Dorrin::measurement tag{};
        Dorrin::loss marker;
        const auto row = tdcraw::parseCsvRow(line.data(), line.size(), tag, marker);
        if (row == tdcraw::CsvRow::bad)
            continue;
        std::string written;
        if (row == tdcraw::CsvRow::tag) {
            FUZZ_CHECK(tag.channel < 64 && (tag.edge == 1 || tag.edge == 2));
            written.resize(tdcraw::maxCsvRowBytes);
            written.resize(tdcraw::appendCsvRows(&tag, 1, written.data(), 0));
        } else {
            FUZZ_CHECK(marker.channel < 64);
            written = tdcraw::csvMarker(marker);
        }
        FUZZ_CHECK(!written.empty() && written.back() == '\n');
        written.pop_back();
        if (canonical(line))
            FUZZ_CHECK(written == line);
        Dorrin::measurement tag2{};
        Dorrin::loss marker2;
        FUZZ_CHECK(tdcraw::parseCsvRow(written.data(), written.size(), tag2, marker2) == row);
        if (row == tdcraw::CsvRow::tag)
            FUZZ_CHECK(tag2.channel == tag.channel && tag2.edge == tag.edge && tag2.tag == tag.tag);
        else
            FUZZ_CHECK(marker2.channel == marker.channel && marker2.count == marker.count && marker2.tag == marker.tag);
    }
    return 0;
}
