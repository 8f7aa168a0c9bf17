#pragma once
// The board's register map as the host sees it (docs/board-protocol.md). Word addresses.

#include <cstdint>

namespace tdcregs {

constexpr std::uint8_t readStream = 1;
constexpr std::uint8_t writeStream = 2;

namespace table {
constexpr std::uint32_t address = 0x0000;
constexpr std::uint32_t magic = 0x4B455354;
constexpr std::uint32_t format = 1;
constexpr std::uint32_t headerWords = 4;
constexpr std::uint32_t firstEntry = 0x10;
constexpr std::uint32_t entryWords = 8;
constexpr std::uint32_t maxModules = 64;
constexpr std::uint32_t reserved = 0x1000; // the table's own window
} // namespace table

namespace master {
constexpr std::uint32_t compileTime = 0x00; // two words, low first
constexpr std::uint32_t tagLength = 0x02;
constexpr std::uint32_t scratch = 0x03;
constexpr std::uint32_t tag = 0x20;
constexpr std::uint32_t maxTagBytes = 896;
} // namespace master

namespace channels {
constexpr std::uint32_t count = 0x00; // count, coarse bits, fine bits, period fs, min bin fs
constexpr std::uint32_t headerWords = 5;
constexpr std::uint32_t periods = 0x10; // two words per channel, low first
constexpr std::uint32_t maxChannels = 64;
} // namespace channels

namespace counter {
constexpr std::uint32_t control = 0x00;
constexpr std::uint32_t integrationUs = 0x01;
constexpr std::uint32_t channels = 0x02;
constexpr std::uint32_t inputLogic = 0x03;
constexpr std::uint32_t sampleNumber = 0x04;
constexpr std::uint32_t sample = 0x10;
constexpr std::uint32_t controlAutoPush = 1u << 0;
constexpr std::uint32_t minIntegrationUs = 100;
constexpr std::uint32_t maxIntegrationUs = 60000000;
} // namespace counter

namespace tagger {
constexpr std::uint8_t stream = 3;
constexpr std::uint32_t control = 0x00;
constexpr std::uint32_t channels = 0x01;
constexpr std::uint32_t fifoTags = 0x02;
constexpr std::uint32_t linkBytesPerSecond = 0x03;
constexpr std::uint32_t risingMask = 0x04;  // two words, channels 0-31 then 32-63
constexpr std::uint32_t fallingMask = 0x06; // two words
constexpr std::uint32_t tagsSent = 0x08;    // two words, low first
constexpr std::uint32_t tagsLost = 0x0A;    // two words, low first
constexpr std::uint32_t tagUnitFs = 0x0C;
constexpr std::uint32_t controlEnable = 1u << 0;
} // namespace tagger
namespace histogrammer {
constexpr std::uint32_t control = 0x00;
constexpr std::uint32_t command = 0x01;
constexpr std::uint32_t status = 0x02;
constexpr std::uint32_t periodUs = 0x03;
constexpr std::uint32_t windows = 0x04;
constexpr std::uint32_t windowIndex = 0x05;
constexpr std::uint32_t ref = 0x06;
constexpr std::uint32_t meas = 0x07;
constexpr std::uint32_t bounds = 0x08; // left, bin width, right: two words each, low first
constexpr std::uint32_t memoryBins = 0x0E;
constexpr std::uint32_t binsInUse = 0x0F;
constexpr std::uint32_t group = 0x10;
constexpr std::uint32_t minBinFs = 0x11;
constexpr std::uint32_t limits = 0x12; // min offset, max offset, min FSR, max FSR: two words each
constexpr std::uint32_t registerWords = 0x1A;
constexpr std::uint32_t block = 0x20;
constexpr std::uint32_t bins = 0x100;
constexpr std::uint32_t controlAccumulate = 1u << 0;
constexpr std::uint32_t controlMultiHit = 1u << 1;
constexpr std::uint32_t commandEnable = 1;
constexpr std::uint32_t commandPause = 2;
constexpr std::uint32_t commandDisable = 3;
constexpr std::uint32_t commandGroupEnable = 4;
constexpr std::uint32_t commandGroupDisable = 5;
constexpr std::uint32_t statusRunning = 1u << 0;
constexpr std::uint32_t statusPaused = 1u << 1;
constexpr std::uint32_t flagRunning = 1u << 0;
constexpr std::uint32_t minPeriodUs = 100;
constexpr std::uint32_t maxPeriodUs = 60000000;
} // namespace histogrammer

} // namespace tdcregs
