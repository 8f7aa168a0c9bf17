#include "replaysource.h"

#include <cmath>
#include <iostream>
#include <stdexcept>

#include "tdc/rawreader.h"

namespace kestrane {

ReplaySource::ReplaySource(std::vector<std::string> paths, double boardUnit)
    : paths_(std::move(paths)),
      boardUnit_(boardUnit > 0 ? boardUnit : 1e-12),
      leadIn_(static_cast<std::uint64_t>(std::llround(leadInSeconds / boardUnit_)))
{
    if (paths_.empty())
        throw std::runtime_error("No files to replay");
    // Every file is checked before the board starts, so a typing error is found at once.
    for (const auto &p : paths_) {
        tdcraw::Reader r;
        if (r.open(p))
            throw std::runtime_error("Cannot replay " + r.errorText());
    }
    reader_ = std::make_unique<tdcraw::Reader>();
    file_ = 0;
    if (reader_->open(paths_[0]))
        throw std::runtime_error("Cannot replay " + reader_->errorText());
    scale_ = reader_->header().tagUnit / boardUnit_;
}

ReplaySource::~ReplaySource() = default;

bool ReplaySource::nextBlock()
{
    std::vector<tdcraw::measurement> tags;
    std::vector<tdcraw::loss> markers;
    while (!finished_) {
        bool end = false;
        if (const auto ec = reader_->next(tags, markers, end)) {
            std::cerr << "kestrane: replay ends early: " << reader_->errorText() << "\n";
            finished_ = true;
            return false;
        }
        if (!end) {
            if (tags.empty())
                continue;
            block_.resize(tags.size());
            for (std::size_t i = 0; i < tags.size(); ++i)
                block_[i] = {tags[i].channel, tags[i].edge, tags[i].tag};
            next_ = 0;
            return true;
        }
        if (++file_ >= paths_.size()) {
            finished_ = true;
            return false;
        }
        if (reader_->open(paths_[file_])) {
            std::cerr << "kestrane: replay ends early: " << reader_->errorText() << "\n";
            finished_ = true;
            return false;
        }
        scale_ = reader_->header().tagUnit / boardUnit_;
    }
    return false;
}

void ReplaySource::produce(std::uint64_t upTo, std::vector<EventLane> &lanes)
{
    if (lastTime_.size() != lanes.size())
        lastTime_.assign(lanes.size(), 0);
    for (;;) {
        if (next_ >= block_.size() && !nextBlock())
            return;
        const Tag &t = block_[next_];
        if (!haveFirst_) {
            first_ = t.tag;
            haveFirst_ = true;
        }
        const std::uint64_t since = t.tag - first_;
        std::uint64_t time = leadIn_ + (scale_ == 1.0 ? since : static_cast<std::uint64_t>(std::llround(since * scale_)));
        if (time >= upTo)
            return;
        ++next_;
        if (t.channel >= lanes.size() || (t.edge != 1 && t.edge != 2))
            continue;
        // A lane stays in time order even if the recording was not.
        time = std::max(time, lastTime_[t.channel]);
        lastTime_[t.channel] = time;
        lanes[t.channel].push_back({time, t.channel, t.edge == 2 ? Edge::falling : Edge::rising, 0});
        ++replayed_;
    }
}

} // namespace kestrane
