#include "tdclink.h"

#include <future>
#include <stdexcept>

#include "log.h"
#include "registers.h"
#include "tdc/tdcerror.h"

namespace {

// How long past the link's own time-out a blocking call waits before it gives up on a future
// that the link never completes.
constexpr auto graceTime = std::chrono::seconds(2);

std::error_code fromBoard(const std::error_code &ec)
{
    if (!ec)
        return {};
    if (ec == make_error_code(mme_error::timed_out))
        return make_error_code(tdcError::timeout);
    if (ec == make_error_code(mme_error::axi_decode_error) ||
        ec == make_error_code(mme_error::axi_decode_and_slave_error))
        return make_error_code(tdcError::unsupported);
    return make_error_code(tdcError::badResponse);
}

} // namespace

TDCLink::TDCLink()
    : link_([this](const std::error_code &ec, vetra::buffer_list) { onLinkError(ec); })
{
}

TDCLink::~TDCLink()
{
    close();
}

void TDCLink::onLinkError(const std::error_code &ec)
{
    // Runs on vetra's transport thread. Damaged packets are logged. vetra reports a lost link
    // here, and a transport that fails outright (a serial line whose far end has gone: EIO,
    // ENXIO) means the same: the board has gone.
    if (ec == make_error_code(vetraError::device_disconnected) || ec.category() == std::generic_category() ||
        ec.category() == std::system_category()) {
        if (!lost_.exchange(true))
            TDC_LOG(tdclog::error, "Link to the board lost: " << ec.message());
        return;
    }
    ++linkErrors_;
    TDC_LOG(tdclog::warning, "Link error: " << ec.message());
}

std::error_code TDCLink::open(const DeviceMap &device, const DeviceMap &options,
                              std::chrono::milliseconds requestTimeout)
{
    if (open_)
        return make_error_code(tdcError::invalidArgument);
    std::error_code ec;
    try {
        ec = link_.open(device, options, tdcregs::readStream, tdcregs::writeStream);
    } catch (const std::out_of_range &) {
        return make_error_code(tdcError::noSuchDevice);
    }
    if (ec == make_error_code(vetraError::no_such_device))
        return make_error_code(tdcError::noSuchDevice);
    if (ec)
        return ec;
    lost_ = false;
    open_ = true;
    setRequestTimeout(requestTimeout);
    return {};
}

void TDCLink::close()
{
    if (!open_.load())
        return;
    waitForPosted();
    if (open_.exchange(false))
        link_.close();
}

void TDCLink::waitForPosted()
{
    if (lost_)
        return;
    std::unique_lock<std::mutex> lock(posted_->mutex);
    posted_->done.wait_for(lock, timeout_, [this] { return posted_->inFlight == 0; });
}

bool TDCLink::isOpen()
{
    if (!open_ || lost_)
        return false;
    try {
        (void)link_.getTimeout();
        return true;
    } catch (const mme_defs::device_disconnected &) {
        lost_ = true;
        return false;
    }
}

std::error_code TDCLink::lostLink()
{
    if (!open_)
        return make_error_code(tdcError::notOpen);
    return make_error_code(tdcError::disconnected);
}

void TDCLink::setRequestTimeout(std::chrono::milliseconds t)
{
    timeout_ = t;
    if (!open_)
        return;
    try {
        link_.setTimeout(t);
    } catch (const mme_defs::device_disconnected &) {
        lost_ = true;
    }
}

std::error_code TDCLink::read(std::uint32_t address, std::uint32_t count, std::vector<std::uint32_t> &out)
{
    out.clear();
    if (count == 0)
        return make_error_code(tdcError::invalidArgument);
    if (!open_ || lost_)
        return lostLink();
    try {
        auto future = link_.read(address, count, mme_common::BurstType::INCREMENTING);
        if (future.wait_for(timeout_ + graceTime) != std::future_status::ready)
            return make_error_code(tdcError::timeout);
        auto [ec, data] = future.get();
        if (ec) {
            TDC_LOG(tdclog::debug, "Read of " << count << " words at 0x" << std::hex << address
                                              << " failed: " << ec.message());
            return fromBoard(ec);
        }
        if (!data || data->size() != count)
            return make_error_code(tdcError::badResponse);
        out = std::move(*data);
        return {};
    } catch (const mme_defs::device_disconnected &) {
        lost_ = true;
        return lostLink();
    }
}

std::error_code TDCLink::write(std::uint32_t address, std::vector<std::uint32_t> data)
{
    if (data.empty())
        return make_error_code(tdcError::invalidArgument);
    if (!open_ || lost_)
        return lostLink();
    try {
        auto future = link_.write(address, std::make_shared<const std::vector<std::uint32_t>>(std::move(data)),
                                  mme_common::BurstType::INCREMENTING);
        if (future.wait_for(timeout_ + graceTime) != std::future_status::ready)
            return make_error_code(tdcError::timeout);
        return fromBoard(future.get());
    } catch (const mme_defs::device_disconnected &) {
        lost_ = true;
        return lostLink();
    }
}

std::error_code TDCLink::post(std::uint32_t address, std::vector<std::uint32_t> data)
{
    if (data.empty())
        return make_error_code(tdcError::invalidArgument);
    if (!open_ || lost_)
        return lostLink();
    auto posted = posted_;
    const auto settle = [posted] {
        std::lock_guard<std::mutex> lock(posted->mutex);
        --posted->inFlight;
        posted->done.notify_all();
    };
    {
        std::lock_guard<std::mutex> lock(posted->mutex);
        ++posted->inFlight;
    }
    try {
        link_.asyncWrite(address, std::make_shared<const std::vector<std::uint32_t>>(std::move(data)),
                         mme_common::BurstType::INCREMENTING, vetra::write_handler{},
                         [settle](const std::error_code &, std::size_t) { settle(); });
        return {};
    } catch (const mme_defs::device_disconnected &) {
        settle();
        lost_ = true;
        return lostLink();
    }
}

std::error_code TDCLink::setRange(std::uint32_t first, std::uint32_t last, vetra::read_handler handler)
{
    if (!open_ || lost_)
        return lostLink();
    try {
        const auto ec = link_.setRangeCallback(first, last, std::move(handler), vetra::write_handler{});
        return ec ? make_error_code(tdcError::invalidArgument) : std::error_code{};
    } catch (const mme_defs::device_disconnected &) {
        lost_ = true;
        return lostLink();
    }
}

void TDCLink::deleteRange(std::uint32_t first)
{
    if (!open_)
        return;
    try {
        link_.deleteRangeCallback(first);
    } catch (const mme_defs::device_disconnected &) {
        // The link is gone and with it every range; nothing is left to delete.
        lost_ = true;
    }
}

std::error_code TDCLink::setStreamCallback(std::uint8_t stream, vetra::stream_callback callback)
{
    if (!open_ || (lost_ && callback))
        return lostLink();
    try {
        if (callback)
            link_.setStreamCallback(stream, std::move(callback));
        else
            link_.deleteStreamCallback(stream);
        return {};
    } catch (const mme_defs::device_disconnected &) {
        lost_ = true;
        return lostLink();
    }
}
