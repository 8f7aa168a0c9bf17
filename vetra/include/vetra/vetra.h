#pragma once
// vetra: the device link library's one exported class. It lists attached boards, opens one
// link, reads and writes word bursts in the board's address space, exchanges raw packets on
// chosen streams and reports link errors.
//
// Ownership: a vetra object owns (through its private implementation) the packet engine,
// which owns the transport, and the memory engine while the link is open.
// Threads: user callbacks run on the library's threads, never on the caller's: packet errors,
// stream packets and memory responses on the transport's worker thread, memory time-outs on
// the memory engine's timer threads, sent handlers on the transport's write context. Link
// operations may be called from any thread; open, close, moving and destruction must not run
// concurrently with other calls on the same object, nor from inside a callback.
// An exception thrown by any user callback is caught on the library's thread, its message
// written to standard error, and reported once through the error callback as
// vetraError::callback_threw; the link goes on working.

#include <vetra/mme_defs.h>
#include <vetra/mme_error.h>
#include <vetra/pte_error.h>
#include <vetra/vetra_error.h>
#include <vetra/vetra_export.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

class VETRA_EXPORT vetra {
public:
    using device_map = std::map<std::string, std::string>;
    using device_list = std::vector<device_map>;
    using buffer_list = std::vector<std::unique_ptr<std::vector<uint32_t>>>;
    using error_callback = std::function<void(const std::error_code &, buffer_list)>;
    using sent_handler = mme_common::sent_handler;
    using read_handler = mme_common::read_handler;
    using write_handler = mme_common::write_handler;
    using stream_callback = std::function<void(uint8_t, std::unique_ptr<std::vector<uint32_t>>)>;
    using read_future = mme_defs::future<std::pair<std::error_code, std::unique_ptr<std::vector<uint32_t>>>,
                                         mme_defs::device_disconnected>;
    using write_future = mme_defs::future<std::error_code, mme_defs::device_disconnected>;

    // Interface names: the "class" entry of a device map.
    static constexpr const char *IFSerialName = "Serial";
    static constexpr const char *IFd3xxName = "D3XX";
    static constexpr const char *IFlibftdiName = "LibFTDI";

    // `errorCallback` receives packet errors of the open link (bad CRC, malformed frames,
    // transport errors other than the link being lost) with the buffers of the failed packet,
    // vetraError::device_disconnected once when the link is lost, and
    // vetraError::callback_threw for every exception a user callback threw.
    explicit vetra(error_callback errorCallback = {});
    vetra(vetra &&other) noexcept;
    vetra &operator=(vetra &&other) noexcept;
    vetra(const vetra &) = delete;
    vetra &operator=(const vetra &) = delete;
    ~vetra();

    static std::string version();
    static std::string buildInfo();

    // Lists the attached devices of every interface. The second member names the interfaces
    // whose enumeration succeeded. The reference stays valid until the next call or the
    // object's destruction.
    std::pair<const device_list &, std::vector<std::string>> getDevices();

    // Opens the device described by `device` (one entry of getDevices). Returns
    // std::errc::already_connected when open; throws std::out_of_range without "class".
    std::error_code open(const device_map &device, const device_map &options, uint8_t readStream,
                         uint8_t writeStream);
    // Drops pending transactions (their futures are broken) and closes the link. Throws
    // std::system_error (resource_deadlock_would_occur) when called from one of this
    // object's callbacks; open returns that code then.
    void close();
    // False before open, after close and once the link has been lost.
    bool isOpen() const;

    // Memory access; every call throws mme_defs::device_disconnected when not open and
    // std::invalid_argument for zero words.
    read_future read(uint32_t address, uint32_t count, mme_common::BurstType burst,
                     sent_handler sentHandler = {});
    write_future write(uint32_t address, std::shared_ptr<const std::vector<uint32_t>> data,
                       mme_common::BurstType burst, sent_handler sentHandler = {});
    // Range forms: the result goes to the handler of the range containing `address`.
    uint32_t asyncRead(uint32_t address, uint32_t count, mme_common::BurstType burst,
                       sent_handler sentHandler = {});
    uint32_t asyncRead(uint32_t address, uint32_t count, mme_common::BurstType burst,
                       read_handler readHandler, sent_handler sentHandler);
    uint32_t asyncWrite(uint32_t address, std::shared_ptr<const std::vector<uint32_t>> data,
                        mme_common::BurstType burst, sent_handler sentHandler = {});
    // An empty write handler requests no response.
    uint32_t asyncWrite(uint32_t address, std::shared_ptr<const std::vector<uint32_t>> data,
                        mme_common::BurstType burst, write_handler writeHandler,
                        sent_handler sentHandler);

    // Handlers for responses and unsolicited messages within [first, last].
    std::error_code setRangeCallback(uint32_t first, uint32_t last, read_handler readHandler,
                                     write_handler writeHandler);
    std::error_code deleteRangeCallback(uint32_t first);

    std::chrono::milliseconds getTimeout() const;
    void setTimeout(std::chrono::milliseconds timeout);

    // Raw packets. sendPacket returns false when a payload buffer holds no words.
    bool sendPacket(uint8_t stream, std::vector<std::shared_ptr<const std::vector<uint32_t>>> payload,
                    sent_handler sentHandler = {});
    void setStreamCallback(uint8_t stream, stream_callback callback);
    void deleteStreamCallback(uint8_t stream);

protected:
    // Enumerations: each appends one map per device of its interface to `devices` and throws
    // when the interface cannot be enumerated.
    static void getSerialDevices(const std::string &interfaceName, device_list &devices);
    static void getD3XXDevices(const std::string &interfaceName, device_list &devices);
    static void getLibFTDIDevices(const std::string &interfaceName, device_list &devices);

private:
    struct impl;
    std::unique_ptr<impl> d;
};
