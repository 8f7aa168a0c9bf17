// The "Packet Transmission Engine" error category.

#include <vetra/pte_error.h>

#include <string>

namespace {

class pte_error_category final : public std::error_category {
public:
    const char *name() const noexcept override { return "Packet Transmission Engine"; }

    std::string message(int value) const override
    {
        switch (value) {
        case 0:
            return "Success";
        case 1:
            return "Bad CRC value";
        case 2:
            return "Malformed multiCOBS encoding";
        case 3:
            return "Malformed packet, too short";
        default:
            return "Unknown error";
        }
    }

    std::error_condition default_error_condition(int value) const noexcept override
    {
        if (value >= 1 && value <= 3)
            return std::make_error_condition(std::errc::bad_message);
        return std::error_condition(value, *this);
    }
};

} // namespace

const std::error_category &pte_category() noexcept
{
    static const pte_error_category category;
    return category;
}

std::error_code make_error_code(pte_packet_error e) noexcept
{
    return std::error_code(static_cast<int>(e), pte_category());
}
