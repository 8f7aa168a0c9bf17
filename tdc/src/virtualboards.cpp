#include "virtualboards.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include <kestrane/profile.h>
#include <kestrane/virtualdevice.h>

#include "log.h"

namespace {
// More would only be a typing error (each board costs a thread while it is open), and the
// serial numbers have room for two digits.
constexpr unsigned long maxVirtualBoards = 16;
std::once_flag registered;
std::atomic<std::uint32_t> channels{0};
} // namespace

void ensureVirtualBoards()
{
    std::call_once(registered, [] {
        const char *count = std::getenv("TESSARON_VIRTUAL_BOARDS");
        if (!count || !*count)
            return;
        char *end = nullptr;
        const unsigned long n = std::strtoul(count, &end, 10);
        if (*end != '\0' || count[0] == '-' || n > maxVirtualBoards) {
            TDC_LOG(tdclog::error, "TESSARON_VIRTUAL_BOARDS must be a number from 0 to "
                                       << maxVirtualBoards << ", not \"" << count << "\"; no virtual boards");
            return;
        }
        if (n == 0)
            return;
        kestrane::Profile profile = kestrane::defaultProfile();
        if (const char *path = std::getenv("TESSARON_BOARD_PROFILE"); path && *path) {
            std::string error;
            if (!kestrane::loadProfile(path, profile, error)) {
                TDC_LOG(tdclog::error, error << "; no virtual boards");
                return;
            }
        }
        const unsigned added = kestrane::registerVirtualBoards(static_cast<unsigned>(n), profile);
        channels = profile.channels();
        TDC_LOG(tdclog::info, "Registered " << added << " virtual Kestrane boards");
    });
}

std::uint32_t virtualBoardChannels()
{
    return channels;
}

bool isVirtualBoardSerial(const std::string &serialNumber)
{
    return serialNumber.rfind("KEST-VIRTUAL-", 0) == 0;
}
