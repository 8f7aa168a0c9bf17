// multiCOBS decoding of arbitrary bytes, into the fixed buffers of a stream layout and the
// rest. Whatever decodes must encode again to something that decodes to the same words, the
// stream id read without decoding must agree with the decoded header, and the fixed-buffer
// form must agree with the one-buffer form.
//
// Input: a layout byte (up to three fixed buffers of 1 to 4 words), then the encoded bytes.

#include "fuzz_input.h"

#include <vetra/multicobs.h>

#include <algorithm>

int fuzz_multicobs(const std::uint8_t *data, std::size_t size)
{
    fuzz::input in(data, size);
    const unsigned layout = in.byte();
    const auto encoded = in.rest();

    const std::size_t fixedCount = layout & 3;
    std::vector<std::uint32_t> storage[3];
    multicobs::mutable_words fixed[3];
    for (std::size_t k = 0; k < fixedCount; ++k) {
        storage[k].assign(1 + ((layout >> (2 + 2 * k)) & 3), 0);
        fixed[k] = {storage[k].data(), storage[k].size()};
    }
    std::vector<std::uint32_t> rest;
    const auto count = multicobs::decode(encoded.data(), encoded.size(), fixed, fixedCount, rest);
    const auto whole = multicobs::decode(encoded.data(), encoded.size());
    const auto id = multicobs::peek_stream_id(encoded.data(), encoded.size());

    if (!whole) {
        FUZZ_CHECK(!count);
        return 0;
    }
    // The lanes hold the words and at least one code byte each.
    FUZZ_CHECK(whole->size() < encoded.size() / 4);
    if (!whole->empty()) {
        FUZZ_CHECK(id.has_value());
        FUZZ_CHECK(*id == (whole->front() & 0xFF));
    }

    if (count) {
        FUZZ_CHECK(*count == whole->size());
        std::vector<std::uint32_t> joined;
        for (std::size_t k = 0; k < fixedCount; ++k) {
            const std::size_t n = std::min(storage[k].size(), *count - std::min(*count, joined.size()));
            joined.insert(joined.end(), storage[k].begin(), storage[k].begin() + std::ptrdiff_t(n));
        }
        joined.insert(joined.end(), rest.begin(), rest.end());
        FUZZ_CHECK(joined == *whole);
    }

    if (!whole->empty()) {
        const auto again = multicobs::encode({{whole->data(), whole->size()}});
        FUZZ_CHECK(!again.empty());
        FUZZ_CHECK(std::find(again.begin(), again.end(), 0) == again.end());
        const auto back = multicobs::decode(again.data(), again.size());
        FUZZ_CHECK(back && *back == *whole);
    }
    return 0;
}
