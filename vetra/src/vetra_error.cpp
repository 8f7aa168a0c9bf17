#include <vetra/vetra_error.h>

#include <string>

namespace {

class vetra_error_category : public std::error_category {
public:
    const char *name() const noexcept override { return "Vetra"; }

    std::string message(int value) const override
    {
        switch (value) {
        case 0: return "No errors";
        case 1: return "No such device";
        case 2: return "Communication device disconnected";
        case 3: return "Specified address already registered";
        case 4: return "Specified address not in callback map";
        case 5: return "User callback threw";
        default: return "Unknown error";
        }
    }

    std::error_condition default_error_condition(int value) const noexcept override
    {
        switch (value) {
        case 1: return std::errc::no_such_device;
        case 2: return std::errc::connection_aborted;
        case 3: return std::errc::address_in_use;
        case 4: return std::errc::no_such_device_or_address;
        default: return std::error_condition(value, *this);
        }
    }
};

} // namespace

const std::error_category &vetra_category() noexcept
{
    static const vetra_error_category category;
    return category;
}

std::error_code make_error_code(vetraError e) noexcept
{
    return std::error_code(static_cast<int>(e), vetra_category());
}
