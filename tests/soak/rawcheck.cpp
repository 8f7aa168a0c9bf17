#include "rawcheck.h"

#include <vector>

#include "tdc/rawreader.h"

namespace soak {

RawCheck checkRawFile(const std::string &path, bool stillGrowing)
{
    RawCheck c;
    tdcraw::Reader reader;
    std::error_code ec = reader.open(path);
    const auto isCut = [](const std::error_code &e) {
        return e == tdcraw::rawError::truncatedHeader || e == tdcraw::rawError::truncatedBlock;
    };
    std::vector<tdcraw::measurement> tags;
    std::vector<tdcraw::loss> markers;
    for (bool end = false; !ec && !end;) {
        tags.clear();
        markers.clear();
        ec = reader.next(tags, markers, end);
        if (!ec)
            c.tags += tags.size();
    }
    c.blocks = reader.blocks();
    if (!ec) {
        c.ok = true;
        return c;
    }
    c.cut = isCut(ec);
    c.ok = stillGrowing && c.cut;
    c.error = reader.errorText().empty() ? ec.message() : reader.errorText();
    return c;
}

} // namespace soak
