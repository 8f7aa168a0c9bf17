#pragma once
// The memory engine's range-handler table: non-overlapping inclusive address ranges, each with
// the handlers for responses and unsolicited messages whose address falls inside it, plus the
// default handlers for every other address. Shared by the two halves of one engine; safe on
// any thread (one mutex; handlers are returned as copies and called by the caller without it).

#include <vetra/mme_defs.h>

#include <cstdint>
#include <mutex>
#include <vector>

class range_table {
public:
    range_table(mme_common::read_handler defaultRead, mme_common::write_handler defaultWrite);

    // Refused (false) when [first, last] overlaps a registered range.
    bool insert(std::uint32_t first, std::uint32_t last, mme_common::read_handler readHandler,
                mme_common::write_handler writeHandler);
    // Removes the range that starts exactly at `first`; false when there is none.
    bool erase(std::uint32_t first);

    // The handler of the range containing `address`, else the default one (may be empty).
    mme_common::read_handler readHandlerFor(std::uint32_t address) const;
    mme_common::write_handler writeHandlerFor(std::uint32_t address) const;

private:
    struct entry {
        std::uint32_t first;
        std::uint32_t last;
        mme_common::read_handler read;
        mme_common::write_handler write;
    };

    // The entry containing `address`, or nullptr. Call with the mutex held.
    const entry *find(std::uint32_t address) const;

    mutable std::mutex mutex_;
    std::vector<entry> entries_; // sorted by first address
    const mme_common::read_handler defaultRead_;
    const mme_common::write_handler defaultWrite_;
};
