#include <vetra/d3xx_error.h>

#include <climits>
#include <string>

namespace {

const char *const messages[] = {
    "Status OK",
    "The device handle is invalid",
    "Device not found",
    "Device is not open",
    "IO error",
    "Insufficient resources",
    "A parameter was invalid",
    "The requested baud rate is invalid",
    "Device not opened for erase",
    "Device not opened for write",
    "Failed to write to device",
    "Failed to read the device EEPROM",
    "Failed to write the device EEPROM",
    "Failed to erase the device EEPROM",
    "An EEPROM is not fitted to the device",
    "Device EEPROM is blank",
    "Invalid arguments",
    "Functionality not supported",
    "No more items",
    "Timed out",
    "Operation aborted",
    "Reserved pipe",
    "Invalid control request direction",
    "Invalid control request type",
    "IO pending",
    "IO incomplete",
    "End of file",
    "Busy",
    "No system resources",
    "Device not ready",
    "Device not connected",
    "Incorrect device path",
    "An other error has occurred",
};
constexpr int message_count = static_cast<int>(sizeof(messages) / sizeof(messages[0]));

class d3xx_error_category : public std::error_category {
public:
    const char *name() const noexcept override { return "FTD3XX"; }

    std::string message(int value) const override
    {
        if (value >= 0 && value < message_count)
            return messages[value];
        return "Unknown error";
    }

    std::error_condition default_error_condition(int value) const noexcept override
    {
        switch (value) {
        case 19: return std::errc::stream_timeout;
        case 20: return std::errc::operation_canceled;
        default: return std::error_condition(value, *this);
        }
    }
};

} // namespace

const std::error_category &d3xx_category() noexcept
{
    static const d3xx_error_category category;
    return category;
}

std::error_code make_error_code(d3xx_error e) noexcept
{
    return std::error_code(static_cast<int>(e), d3xx_category());
}

std::error_code make_d3xx_error_code(unsigned long status) noexcept
{
    // Statuses beyond int keep reading "Unknown error" instead of wrapping to a known value.
    const int value = status > static_cast<unsigned long>(INT_MAX) ? INT_MAX : static_cast<int>(status);
    return std::error_code(value, d3xx_category());
}
