#include "mme/mme.h"

#include <future>
#include <limits>
#include <stdexcept>

mme::mme(pte &engine, std::uint8_t readStream, std::uint8_t writeStream, std::chrono::milliseconds timeout,
         mme_common::read_handler defaultRead, mme_common::write_handler defaultWrite)
    : ranges_(std::make_shared<range_table>(std::move(defaultRead), std::move(defaultWrite))),
      reads_(std::make_shared<mme_simplex<1>>(engine, readStream, toMilliseconds(timeout), ranges_)),
      writes_(std::make_shared<mme_simplex<0>>(engine, writeStream, toMilliseconds(timeout), ranges_))
{
    reads_->start();
    writes_->start();
}

mme::~mme()
{
    reads_->stop();
    writes_->stop();
}

void mme::requireWords(std::uint32_t count)
{
    if (count == 0)
        throw std::invalid_argument("Can't execute transfer of zero words");
}

std::uint32_t mme::wordsOf(const data_ptr &data)
{
    const std::uint32_t count = data ? static_cast<std::uint32_t>(data->size()) : 0;
    // The header's count field is cut to 21 bits anyway; only an empty buffer is refused.
    if (!data || data->empty())
        throw std::invalid_argument("Can't execute transfer of zero words");
    return count;
}

int mme::toMilliseconds(std::chrono::milliseconds timeout)
{
    const auto ms = timeout.count();
    if (ms <= 0)
        return 0;
    return ms > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(ms);
}

std::uint32_t mme::read(std::uint32_t address, std::uint32_t count, mme_common::BurstType burst,
                        mme_common::read_handler handler, mme_common::sent_handler sent)
{
    requireWords(count);
    return reads_->issue(address, count, burst, true, std::move(handler), nullptr, std::move(sent));
}

std::uint32_t mme::read(std::uint32_t address, std::uint32_t count, mme_common::BurstType burst,
                        mme_common::sent_handler sent)
{
    requireWords(count);
    return reads_->issue(address, count, burst, true, ranges_->readHandlerFor(address), nullptr,
                         std::move(sent));
}

mme::read_future mme::readFuture(std::uint32_t address, std::uint32_t count, mme_common::BurstType burst,
                                 mme_common::sent_handler sent)
{
    requireWords(count);
    auto promise = std::make_shared<std::promise<read_result>>();
    read_future future(promise->get_future());
    reads_->issue(
        address, count, burst, true,
        [promise](std::uint32_t, std::unique_ptr<std::vector<std::uint32_t>> data, mme_common::BurstType,
                  std::error_code error, std::uint32_t) { promise->set_value({error, std::move(data)}); },
        nullptr, std::move(sent));
    return future;
}

std::uint32_t mme::write(std::uint32_t address, data_ptr data, mme_common::BurstType burst,
                         mme_common::write_handler handler, mme_common::sent_handler sent)
{
    const std::uint32_t count = wordsOf(data);
    const bool expectResponse = static_cast<bool>(handler);
    return writes_->issue(address, count, burst, expectResponse, std::move(handler), std::move(data),
                          std::move(sent));
}

std::uint32_t mme::write(std::uint32_t address, data_ptr data, mme_common::BurstType burst,
                         mme_common::sent_handler sent)
{
    const std::uint32_t count = wordsOf(data);
    return writes_->issue(address, count, burst, true, ranges_->writeHandlerFor(address), std::move(data),
                          std::move(sent));
}

mme::write_future mme::writeFuture(std::uint32_t address, data_ptr data, mme_common::BurstType burst,
                                   mme_common::sent_handler sent)
{
    const std::uint32_t count = wordsOf(data);
    auto promise = std::make_shared<std::promise<std::error_code>>();
    write_future future(promise->get_future());
    writes_->issue(
        address, count, burst, true,
        [promise](std::uint32_t, std::uint32_t, mme_common::BurstType, std::error_code error,
                  std::uint32_t) { promise->set_value(error); },
        std::move(data), std::move(sent));
    return future;
}

bool mme::setRangeHandlers(std::uint32_t first, std::uint32_t last, mme_common::read_handler readHandler,
                           mme_common::write_handler writeHandler)
{
    return ranges_->insert(first, last, std::move(readHandler), std::move(writeHandler));
}

bool mme::deleteRangeHandlers(std::uint32_t first)
{
    return ranges_->erase(first);
}

void mme::setTimeout(std::chrono::milliseconds timeout)
{
    reads_->setTimeout(toMilliseconds(timeout));
    writes_->setTimeout(toMilliseconds(timeout));
}

std::chrono::milliseconds mme::timeout() const
{
    return std::chrono::milliseconds(reads_->timeout());
}
