// tdc-cli read-raw: raw time-tag files to CSV on standard output, or, with --check, every
// block's CRC verified and one JSON line per file with what it holds. --check also reads CSV
// files, row by row.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "command.h"
#include "output.h"
#include "tdc/rawformat.h"
#include "tdc/rawreader.h"

namespace cli {
namespace {

struct ReadRawOptions {
    std::vector<std::string> files;
    bool check = false;
};

// Rows of one file, streamed block by block. False after damage, which is reported.
bool printCsv(const std::string &path, std::vector<char> &text)
{
    tdcraw::Reader reader;
    if (reader.open(path)) {
        std::cerr << "tdc-cli: " << reader.errorText() << "\n";
        return false;
    }
    std::vector<Dorrin::measurement> tags;
    std::vector<Dorrin::loss> markers;
    for (;;) {
        tags.clear();
        markers.clear();
        bool end = false;
        const auto ec = reader.next(tags, markers, end);
        if (ec) {
            std::cout.flush();
            std::cerr << "tdc-cli: " << reader.errorText() << "\n";
            return false;
        }
        if (end)
            return true;
        for (const auto &m : markers)
            std::cout << tdcraw::csvMarker(m);
        text.resize(tags.size() * tdcraw::maxCsvRowBytes);
        const auto used = tdcraw::appendCsvRows(tags.data(), tags.size(), text.data(), 0);
        std::cout.write(text.data(), static_cast<std::streamsize>(used));
    }
}

// A CSV file: the column names, then tag rows and "#lost" marker lines. The first line that
// is neither stops the check and is named.
bool checkCsv(const std::string &path, Json &doc)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::uint64_t tags = 0, markers = 0, lost = 0, number = 1;
    bool ok = static_cast<bool>(std::getline(in, line)) && line == "channel,edge,tag";
    std::string error = ok ? "" : path + ": line 1 is not the CSV header channel,edge,tag";
    while (ok && std::getline(in, line)) {
        ++number;
        Dorrin::measurement tag{};
        Dorrin::loss marker;
        switch (tdcraw::parseCsvRow(line.data(), line.size(), tag, marker)) {
        case tdcraw::CsvRow::tag: ++tags; break;
        case tdcraw::CsvRow::marker:
            ++markers;
            lost += marker.count;
            break;
        case tdcraw::CsvRow::bad:
            ok = false;
            error = path + ": line " + std::to_string(number) + " is not a tag row or a loss marker";
            break;
        }
    }
    doc["format"] = "csv";
    doc["tags"] = tags;
    doc["markers"] = markers;
    doc["lost"] = lost;
    doc["ok"] = ok;
    if (!ok)
        doc["error"] = error;
    printLine(std::cout, doc);
    return ok;
}

bool isCsv(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    char head[8] = {};
    in.read(head, sizeof head);
    return in.gcount() == 8 && std::string(head, 8) == "channel,";
}

bool check(const std::string &path)
{
    Json doc{{"file", path}};
    if (isCsv(path))
        return checkCsv(path, doc);
    tdcraw::Reader reader;
    std::uint64_t tags = 0, markers = 0, lost = 0;
    bool ok = !reader.open(path);
    if (ok) {
        doc["tagUnit"] = number(reader.header().tagUnit);
        doc["channels"] = reader.header().channels;
        doc["fileNumber"] = reader.header().fileNumber;
        std::vector<Dorrin::measurement> t;
        std::vector<Dorrin::loss> m;
        for (bool end = false; ok && !end;) {
            t.clear();
            m.clear();
            ok = !reader.next(t, m, end);
            tags += t.size();
            markers += m.size();
            for (const auto &l : m)
                lost += l.count;
        }
    }
    doc["tags"] = tags;
    doc["blocks"] = reader.blocks();
    doc["markers"] = markers;
    doc["lost"] = lost;
    doc["ok"] = ok;
    if (!ok)
        doc["error"] = reader.errorText();
    printLine(std::cout, doc);
    return ok;
}

int readRaw(const ReadRawOptions &options)
{
    bool ok = true;
    std::vector<char> text;
    if (options.check) {
        for (const auto &f : options.files)
            ok = check(f) && ok;
        return ok ? 0 : 1;
    }
    // A split series given in order reads as one stream: one header row.
    std::cout << tdcraw::csvHeader;
    for (const auto &f : options.files)
        if (!printCsv(f, text))
            return 1;
    std::cout.flush();
    return 0;
}

const bool registered = registerCommand(
    {"read-raw", "read-raw FILE... [--check]",
     "Print binary raw tag files as CSV, or check every block and print what each file holds.", 60,
     [](CLI::App &sub, const Global &) -> Run {
         auto options = std::make_shared<ReadRawOptions>();
         sub.add_option("files", options->files, "raw files, a split series in order")->required();
         sub.add_flag("--check", options->check, "verify every block's CRC (binary) or every row (CSV) and print counts as JSON");
         return [options] { return readRaw(*options); };
     }});

} // namespace
} // namespace cli
