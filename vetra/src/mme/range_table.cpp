#include "mme/range_table.h"

#include <algorithm>

range_table::range_table(mme_common::read_handler defaultRead, mme_common::write_handler defaultWrite)
    : defaultRead_(std::move(defaultRead)), defaultWrite_(std::move(defaultWrite))
{
}

bool range_table::insert(std::uint32_t first, std::uint32_t last, mme_common::read_handler readHandler,
                         mme_common::write_handler writeHandler)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto next = std::upper_bound(entries_.begin(), entries_.end(), first,
                                 [](std::uint32_t a, const entry &e) { return a < e.first; });
    if (next != entries_.begin() && std::prev(next)->last >= first)
        return false;
    if (next != entries_.end() && next->first <= last)
        return false;
    entries_.insert(next, entry{first, last, std::move(readHandler), std::move(writeHandler)});
    return true;
}

bool range_table::erase(std::uint32_t first)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::lower_bound(entries_.begin(), entries_.end(), first,
                               [](const entry &e, std::uint32_t a) { return e.first < a; });
    if (it == entries_.end() || it->first != first)
        return false;
    entries_.erase(it);
    return true;
}

const range_table::entry *range_table::find(std::uint32_t address) const
{
    auto next = std::upper_bound(entries_.begin(), entries_.end(), address,
                                 [](std::uint32_t a, const entry &e) { return a < e.first; });
    if (next == entries_.begin())
        return nullptr;
    const entry &candidate = *std::prev(next);
    return candidate.last >= address ? &candidate : nullptr;
}

mme_common::read_handler range_table::readHandlerFor(std::uint32_t address) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const entry *e = find(address);
    return e ? e->read : defaultRead_;
}

mme_common::write_handler range_table::writeHandlerFor(std::uint32_t address) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const entry *e = find(address);
    return e ? e->write : defaultWrite_;
}
