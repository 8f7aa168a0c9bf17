#pragma once
// Recorded time-tag files as the board's event source: the tags of a binary raw file (or a
// split series, in order) come back as the events of their channels and edges, so every
// module of the board (counters, histogrammers, the time tagger) sees the recording. The first
// recorded tag plays one second after the board starts, which leaves a host the time to
// connect and set up; the rest keep their distances, converted to the board's unit.
//
// Owned by the event engine; called under the board's mutex. Files are read a block at a
// time as the engine asks for events; a damaged block ends the replay there, with the reason
// on standard error.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "eventengine.h"

namespace tdcraw {
class Reader;
}

namespace kestrane {

class ReplaySource : public EventSource {
public:
    static constexpr double leadInSeconds = 1.0;

    // Throws std::runtime_error naming the file when one cannot be opened or is not a raw
    // tag file.
    ReplaySource(std::vector<std::string> paths, double boardUnit);
    ~ReplaySource() override;

    void produce(std::uint64_t upTo, std::vector<EventLane> &lanes) override;

    // Every recorded tag has been played (or a damaged block ended the replay).
    bool finished() const { return finished_; }
    bool exhausted() const override { return finished_; }
    std::uint64_t tagsReplayed() const { return replayed_; }

private:
    bool nextBlock();

    std::vector<std::string> paths_;
    double boardUnit_;
    std::uint64_t leadIn_;
    std::size_t file_ = 0;
    std::unique_ptr<tdcraw::Reader> reader_;
    double scale_ = 1;         // recorded units per board unit
    struct Tag {
        std::uint8_t channel;
        std::uint8_t edge;
        std::uint64_t tag;
    };
    std::vector<Tag> block_;
    std::size_t next_ = 0;
    bool haveFirst_ = false;
    std::uint64_t first_ = 0;
    std::vector<std::uint64_t> lastTime_;
    bool finished_ = false;
    std::uint64_t replayed_ = 0;
};

} // namespace kestrane
