#include <vetra/vetra.h>

#include "vetra_impl.h"

#include "build_info.h"
#include "transport/async_d3xx.h"
#include "transport/async_libftdi.h"
#include "transport/async_serial.h"

#include <stdexcept>

void vetra::impl::onLinkError(const std::error_code &linkLost, std::error_code error, pte::buffer_list buffers)
{
    if (error == linkLost) {
        // Reported once: the first loss clears the flag, later reports find it cleared.
        if (open.exchange(false))
            guard.report(make_error_code(vetraError::device_disconnected), {});
        return;
    }
    guard.report(error, std::move(buffers));
}

void vetra::impl::dropLink()
{
    memory.reset();
    if (transport) {
        try {
            transport->close();
        } catch (const std::system_error &) {
            // Only a close from the transport's own thread throws, which callers must not do.
        }
        transport = nullptr;
    }
    packets.reset();
}

vetra::vetra(error_callback errorCallback) : d(std::make_unique<impl>(std::move(errorCallback))) {}

vetra::vetra(vetra &&other) noexcept : d(std::move(other.d)) {}

vetra &vetra::operator=(vetra &&other) noexcept
{
    if (this != &other) {
        close();
        d = std::move(other.d);
    }
    return *this;
}

vetra::~vetra()
{
    close();
}

std::string vetra::version()
{
    return VETRA_VERSION_TEXT;
}

std::string vetra::buildInfo()
{
    return "Version v" + version() + " built by " + VETRA_BUILD_HOST + " at " + VETRA_BUILD_TIME;
}

std::pair<const vetra::device_list &, std::vector<std::string>> vetra::getDevices()
{
    if (!d)
        d = std::make_unique<impl>(error_callback{});
    d->devices.clear();
    std::vector<std::string> listed;
    using enumeration = void (*)(const std::string &, device_list &);
    const std::pair<const char *, enumeration> interfaces[] = {
        {IFSerialName, &vetra::getSerialDevices},
        {IFd3xxName, &vetra::getD3XXDevices},
        {IFlibftdiName, &vetra::getLibFTDIDevices},
    };
    for (const auto &[name, enumerate] : interfaces) {
        // An interface that fails to enumerate adds nothing, not even a part of its list.
        device_list found;
        try {
            enumerate(name, found);
        } catch (...) {
            continue;
        }
        for (auto &device : found)
            d->devices.push_back(std::move(device));
        listed.emplace_back(name);
    }
    return {d->devices, std::move(listed)};
}

std::error_code vetra::open(const device_map &device, const device_map &options, uint8_t readStream,
                            uint8_t writeStream)
{
    if (!d)
        d = std::make_unique<impl>(error_callback{});
    if (d->open.load())
        return std::make_error_code(std::errc::already_connected);
    // Replacing the engines would join the thread this callback runs on.
    if (d->guard.inside())
        return std::make_error_code(std::errc::resource_deadlock_would_occur);

    const std::string &kind = device.at("class");
    const char *nameKey = nullptr;
    std::unique_ptr<asyncio_interface> transport;
    if (kind == IFSerialName) {
        nameKey = "name";
        transport = std::make_unique<async_serial>();
    } else if (kind == IFd3xxName) {
        nameKey = "serialNumber";
        transport = std::make_unique<async_d3xx>();
    } else if (kind == IFlibftdiName) {
        nameKey = "serialNumber";
        try {
            transport = std::make_unique<async_libftdi>();
        } catch (const async_libftdi::libftdi_exception &) {
            return libftdi_error::failure;
        }
    } else {
        return vetraError::no_such_device;
    }
    // A map that names a class but not the link cannot be opened either.
    const auto nameIt = device.find(nameKey);
    if (nameIt == device.end())
        return vetraError::no_such_device;

    d->dropLink();
    const std::error_code linkLost = transport->link_lost_code();
    asyncio_interface *const transportView = transport.get();
    impl *state = d.get();
    d->packets = std::make_unique<pte>(
        std::move(transport), pte::stream_handler{},
        [state, linkLost](std::error_code error, pte::buffer_list buffers) {
            state->onLinkError(linkLost, error, std::move(buffers));
        });
    d->transport = transportView;

    if (const std::error_code error = d->packets->open(nameIt->second, options))
        return error;

    d->memory = std::make_unique<mme>(*d->packets, readStream, writeStream, std::chrono::milliseconds(100));
    d->open.store(true);
    return {};
}

void vetra::close()
{
    if (!d)
        return;
    // Stopping the engines joins their threads, among them the one running this callback.
    if (d->guard.inside())
        throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur),
                                "vetra::close called from a callback");
    d->open.exchange(false);
    d->dropLink();
}

bool vetra::isOpen() const
{
    return d && d->open.load();
}

namespace {

[[noreturn]] void throwDisconnected()
{
    throw mme_defs::device_disconnected();
}

} // namespace

#define VETRA_REQUIRE_OPEN()                                                                                 \
    do {                                                                                                     \
        if (!d || !d->open.load())                                                                           \
            throwDisconnected();                                                                             \
    } while (0)

vetra::read_future vetra::read(uint32_t address, uint32_t count, mme_common::BurstType burst,
                               sent_handler sentHandler)
{
    VETRA_REQUIRE_OPEN();
    return d->memory->readFuture(address, count, burst, d->guard.wrap(std::move(sentHandler)));
}

vetra::write_future vetra::write(uint32_t address, std::shared_ptr<const std::vector<uint32_t>> data,
                                 mme_common::BurstType burst, sent_handler sentHandler)
{
    VETRA_REQUIRE_OPEN();
    return d->memory->writeFuture(address, std::move(data), burst, d->guard.wrap(std::move(sentHandler)));
}

uint32_t vetra::asyncRead(uint32_t address, uint32_t count, mme_common::BurstType burst, sent_handler sentHandler)
{
    VETRA_REQUIRE_OPEN();
    return d->memory->read(address, count, burst, d->guard.wrap(std::move(sentHandler)));
}

uint32_t vetra::asyncRead(uint32_t address, uint32_t count, mme_common::BurstType burst, read_handler readHandler,
                          sent_handler sentHandler)
{
    VETRA_REQUIRE_OPEN();
    return d->memory->read(address, count, burst, d->guard.wrap(std::move(readHandler)),
                           d->guard.wrap(std::move(sentHandler)));
}

uint32_t vetra::asyncWrite(uint32_t address, std::shared_ptr<const std::vector<uint32_t>> data,
                           mme_common::BurstType burst, sent_handler sentHandler)
{
    VETRA_REQUIRE_OPEN();
    return d->memory->write(address, std::move(data), burst, d->guard.wrap(std::move(sentHandler)));
}

uint32_t vetra::asyncWrite(uint32_t address, std::shared_ptr<const std::vector<uint32_t>> data,
                           mme_common::BurstType burst, write_handler writeHandler, sent_handler sentHandler)
{
    VETRA_REQUIRE_OPEN();
    return d->memory->write(address, std::move(data), burst, d->guard.wrap(std::move(writeHandler)),
                            d->guard.wrap(std::move(sentHandler)));
}

std::error_code vetra::setRangeCallback(uint32_t first, uint32_t last, read_handler readHandler,
                                        write_handler writeHandler)
{
    VETRA_REQUIRE_OPEN();
    if (!d->memory->setRangeHandlers(first, last, d->guard.wrap(std::move(readHandler)),
                                     d->guard.wrap(std::move(writeHandler))))
        return vetraError::address_already_registered;
    return {};
}

std::error_code vetra::deleteRangeCallback(uint32_t first)
{
    VETRA_REQUIRE_OPEN();
    if (!d->memory->deleteRangeHandlers(first))
        return vetraError::address_not_registered;
    return {};
}

std::chrono::milliseconds vetra::getTimeout() const
{
    VETRA_REQUIRE_OPEN();
    return d->memory->timeout();
}

void vetra::setTimeout(std::chrono::milliseconds timeout)
{
    VETRA_REQUIRE_OPEN();
    d->memory->setTimeout(timeout);
}

bool vetra::sendPacket(uint8_t stream, std::vector<std::shared_ptr<const std::vector<uint32_t>>> payload,
                       sent_handler sentHandler)
{
    VETRA_REQUIRE_OPEN();
    return d->packets->send_packet(stream, std::move(payload), d->guard.wrap(std::move(sentHandler)));
}

void vetra::setStreamCallback(uint8_t stream, stream_callback callback)
{
    VETRA_REQUIRE_OPEN();
    if (!callback) {
        d->packets->set_stream_handler(stream, {});
        return;
    }
    const callback_guard *guard = &d->guard;
    d->packets->set_stream_handler(stream, [guard, callback = std::move(callback)](uint8_t id, pte::buffer_list buffers) {
        // The whole payload in one buffer, even on a stream that still has a layout (the
        // memory engine's read stream splits off a 3-word header).
        auto payload = buffers.empty() || !buffers[0] ? std::make_unique<std::vector<uint32_t>>()
                                                       : std::move(buffers[0]);
        for (std::size_t i = 1; i < buffers.size(); ++i)
            if (buffers[i])
                payload->insert(payload->end(), buffers[i]->begin(), buffers[i]->end());
        guard->call(callback, id, std::move(payload));
    });
}

void vetra::deleteStreamCallback(uint8_t stream)
{
    VETRA_REQUIRE_OPEN();
    d->packets->set_stream_handler(stream, {});
}
