// The FT_ functions over virtual devices.

#include "echo_provider.h"

#include <vetra/d3xx_error.h>
#include <vetra/ftd3xx.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr unsigned char out_pipe = 0x02;
constexpr unsigned char in_pipe = 0x82;

FT_HANDLE openBySerial(const std::string &serial, FT_STATUS *status = nullptr)
{
    FT_HANDLE handle = nullptr;
    std::string key = serial;
    const FT_STATUS s = FT_Create(&key[0], FT_OPEN_BY_SERIAL_NUMBER, &handle);
    if (status)
        *status = s;
    return s == FT_OK ? handle : nullptr;
}

FT_STATUS writeBytes(FT_HANDLE handle, std::vector<unsigned char> bytes, uint32_t *written = nullptr)
{
    uint32_t n = 0;
    const FT_STATUS status =
        FT_WritePipe(handle, out_pipe, bytes.data(), static_cast<uint32_t>(bytes.size()), &n, nullptr);
    if (written)
        *written = n;
    return status;
}

// Reads until `count` bytes have arrived or a call fails.
std::vector<unsigned char> readBytes(FT_HANDLE handle, std::size_t count, FT_STATUS &status)
{
    std::vector<unsigned char> data;
    status = FT_OK;
    while (data.size() < count) {
        unsigned char chunk[4096];
        uint32_t n = 0;
        status = FT_ReadPipe(handle, in_pipe, chunk, sizeof chunk, &n, nullptr);
        if (status != FT_OK)
            break;
        data.insert(data.end(), chunk, chunk + n);
    }
    return data;
}

std::vector<FT_DEVICE_LIST_INFO_NODE> listDevices()
{
    uint32_t count = 0;
    EXPECT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    EXPECT_EQ(FT_GetDeviceInfoList(nodes.data(), &count), FT_OK);
    nodes.resize(count);
    return nodes;
}

const FT_DEVICE_LIST_INFO_NODE *findNode(const std::vector<FT_DEVICE_LIST_INFO_NODE> &nodes,
                                         const std::string &serial)
{
    for (const auto &node : nodes)
        if (serial == node.SerialNumber)
            return &node;
    return nullptr;
}

} // namespace

TEST(D3xxError, MessagesConditionsAndUnknownValues)
{
    const std::error_category &category = d3xx_category();
    EXPECT_STREQ(category.name(), "FTD3XX");
    EXPECT_EQ(category.message(0), "Status OK");
    EXPECT_EQ(category.message(6), "A parameter was invalid");
    EXPECT_EQ(category.message(19), "Timed out");
    EXPECT_EQ(category.message(20), "Operation aborted");
    EXPECT_EQ(category.message(30), "Device not connected");
    EXPECT_EQ(category.message(32), "An other error has occurred");
    EXPECT_EQ(category.message(33), "Unknown error");
    EXPECT_EQ(category.message(-1), "Unknown error");
    EXPECT_EQ(make_error_code(d3xx_error::timeout), std::errc::stream_timeout);
    EXPECT_EQ(make_error_code(d3xx_error::operation_aborted), std::errc::operation_canceled);
    EXPECT_NE(make_error_code(d3xx_error::io_error), std::errc::io_error);
    EXPECT_EQ(make_d3xx_error_code(0x100000000ul).message(), "Unknown error");
    EXPECT_EQ(make_d3xx_error_code(27), make_error_code(d3xx_error::busy));
}

TEST(FtApi, EnumerationListsVirtualDevicesAndNothingWhenThereAreNone)
{
    ASSERT_TRUE(ft60x_virtual::devices().empty());
    uint32_t count = 99;
    EXPECT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
    EXPECT_EQ(count, 0u); // no vendor library on this machine, no virtual devices
    EXPECT_EQ(FT_GetDeviceInfoList(nullptr, &count), FT_OK);
    EXPECT_EQ(count, 0u);

    auto a = std::make_shared<echo_provider>();
    auto b = std::make_shared<echo_provider>();
    scoped_device devA("ENUM-A", a, "Virtual Kestrane");
    scoped_device devB("ENUM-B", b, std::string(40, 'd'));
    ASSERT_TRUE(devA.added());
    ASSERT_TRUE(devB.added());
    EXPECT_FALSE(ft60x_virtual::addDevice({"ENUM-A", "again"}, a)) << "serial numbers are unique";
    EXPECT_FALSE(ft60x_virtual::addDevice({"SERIAL-TOO-LONG-X", "x"}, a)) << "must fit the 16-byte field";
    EXPECT_FALSE(ft60x_virtual::addDevice({"NO-BOARD", "x"}, nullptr));
    EXPECT_EQ(ft60x_virtual::devices(), (std::vector<std::string>{"ENUM-A", "ENUM-B"}));

    FT_HANDLE handle = openBySerial("ENUM-B");
    ASSERT_NE(handle, nullptr);
    const auto nodes = listDevices();
    ASSERT_EQ(nodes.size(), 2u);
    const auto *nodeA = findNode(nodes, "ENUM-A");
    const auto *nodeB = findNode(nodes, "ENUM-B");
    ASSERT_TRUE(nodeA && nodeB);
    EXPECT_STREQ(nodeA->Description, "Virtual Kestrane");
    EXPECT_EQ(std::string(nodeB->Description), std::string(31, 'd')) << "truncated and terminated";
    EXPECT_EQ(nodeA->Flags, static_cast<uint32_t>(FT_FLAGS_SUPERSPEED));
    EXPECT_EQ(nodeB->Flags, static_cast<uint32_t>(FT_FLAGS_SUPERSPEED | FT_FLAGS_OPENED));
    EXPECT_EQ(nodeA->ftHandle, nullptr);
    EXPECT_EQ(nodeB->ftHandle, handle);
    EXPECT_EQ(nodeA->Type, 601u);
    EXPECT_NE(nodeA->LocId, nodeB->LocId);

    // A caller that sized its array before a device appeared gets no more than it asked for.
    auto c = std::make_shared<echo_provider>();
    scoped_device devC("ENUM-C", c);
    FT_DEVICE_LIST_INFO_NODE two[3]{};
    two[2].Type = 12345;
    uint32_t capacity = 2;
    EXPECT_EQ(FT_GetDeviceInfoList(two, &capacity), FT_OK);
    EXPECT_EQ(capacity, 2u);
    EXPECT_EQ(two[2].Type, 12345u) << "wrote past the caller's array";

    EXPECT_EQ(FT_Close(handle), FT_OK);
    EXPECT_EQ(findNode(listDevices(), "ENUM-B")->Flags, static_cast<uint32_t>(FT_FLAGS_SUPERSPEED));
}

TEST(FtApi, OpenCloseAndHandles)
{
    FT_STATUS status = FT_OK;
    EXPECT_EQ(openBySerial("NOT-THERE", &status), nullptr);
    EXPECT_EQ(status, FT_DEVICE_NOT_FOUND);
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(FT_Create(nullptr, FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_INVALID_PARAMETER);

    auto board = std::make_shared<echo_provider>();
    scoped_device dev("OPEN-1", board, "Open test");
    FT_HANDLE first = openBySerial("OPEN-1");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(board->attaches, 1);
    EXPECT_EQ(openBySerial("OPEN-1", &status), nullptr);
    EXPECT_EQ(status, FT_BUSY) << "one host at a time";
    EXPECT_EQ(FT_Close(first), FT_OK);
    EXPECT_EQ(board->detaches, 1);
    EXPECT_EQ(FT_Close(first), FT_INVALID_HANDLE);
    uint32_t n = 0;
    unsigned char byte = 1;
    EXPECT_EQ(FT_WritePipe(first, out_pipe, &byte, 1, &n, nullptr), FT_INVALID_HANDLE);

    // By description too; a reopened device gets a new handle, never the closed one.
    std::string description = "Open test";
    FT_HANDLE second = nullptr;
    ASSERT_EQ(FT_Create(&description[0], FT_OPEN_BY_DESCRIPTION, &second), FT_OK);
    EXPECT_NE(second, first);
    EXPECT_EQ(FT_SetPipeTimeout(second, 0x03, 10), FT_INVALID_PARAMETER) << "one FIFO channel only";
    EXPECT_EQ(FT_ReadPipe(second, out_pipe, &byte, 1, &n, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_Close(second), FT_OK);
    EXPECT_EQ(board->attaches, 2);
    EXPECT_EQ(board->detaches, 2);
}

TEST(FtApi, WritesReachTheBoardAndReadsReturnWhatIsThere)
{
    auto board = std::make_shared<echo_provider>();
    scoped_device dev("ECHO-1", board);
    FT_HANDLE handle = openBySerial("ECHO-1");
    ASSERT_NE(handle, nullptr);

    uint32_t written = 0;
    EXPECT_EQ(writeBytes(handle, {1, 2, 3, 4, 5}, &written), FT_OK);
    EXPECT_EQ(written, 5u);
    EXPECT_EQ(board->receivedBytes(), (std::vector<uint8_t>{1, 2, 3, 4, 5}));

    // A read returns at once with what is there, even when the buffer is larger.
    unsigned char buffer[64];
    uint32_t n = 0;
    EXPECT_EQ(FT_ReadPipe(handle, in_pipe, buffer, sizeof buffer, &n, nullptr), FT_OK);
    EXPECT_EQ(std::vector<unsigned char>(buffer, buffer + n), (std::vector<unsigned char>{1, 2, 3, 4, 5}));

    // A short buffer leaves the rest for the next read; the order is kept across pushes.
    board->push({6, 7, 8});
    board->push({9});
    EXPECT_EQ(FT_ReadPipe(handle, in_pipe, buffer, 2, &n, nullptr), FT_OK);
    EXPECT_EQ(std::vector<unsigned char>(buffer, buffer + n), (std::vector<unsigned char>{6, 7}));
    FT_STATUS status = FT_OK;
    EXPECT_EQ(readBytes(handle, 2, status), (std::vector<unsigned char>{8, 9}));

    // A blocked read wakes when data arrives.
    auto reader = std::async(std::launch::async, [&] {
        FT_STATUS s = FT_OK;
        auto data = readBytes(handle, 3, s);
        return std::make_pair(s, data);
    });
    std::this_thread::sleep_for(50ms);
    board->push({10, 11, 12});
    ASSERT_EQ(reader.wait_for(10s), std::future_status::ready);
    auto result = reader.get();
    EXPECT_EQ(result.first, FT_OK);
    EXPECT_EQ(result.second, (std::vector<unsigned char>{10, 11, 12}));

    EXPECT_EQ(FT_ReadPipe(handle, in_pipe, buffer, sizeof buffer, &n, reinterpret_cast<LPOVERLAPPED>(buffer)),
              FT_NOT_SUPPORTED);
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST(FtApi, AbortEndsABlockedReadAndLaterReadsWork)
{
    auto board = std::make_shared<echo_provider>();
    scoped_device dev("ABORT-1", board);
    FT_HANDLE handle = openBySerial("ABORT-1");
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(FT_SetPipeTimeout(handle, in_pipe, 0), FT_OK);

    auto reader = std::async(std::launch::async, [&] {
        unsigned char buffer[16];
        uint32_t n = 0;
        return FT_ReadPipe(handle, in_pipe, buffer, sizeof buffer, &n, nullptr);
    });
    EXPECT_EQ(reader.wait_for(100ms), std::future_status::timeout) << "no data: the read blocks";
    // The reader may not be blocked yet when the first abort arrives; abort until it returns.
    while (reader.wait_for(20ms) != std::future_status::ready)
        ASSERT_EQ(FT_AbortPipe(handle, in_pipe), FT_OK);
    EXPECT_EQ(reader.get(), FT_OPERATION_ABORTED);

    board->push({42});
    unsigned char byte = 0;
    uint32_t n = 0;
    EXPECT_EQ(FT_ReadPipe(handle, in_pipe, &byte, 1, &n, nullptr), FT_OK);
    EXPECT_EQ(byte, 42);
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST(FtApi, PipeTimeOutsBoundReadsAndWrites)
{
    auto board = std::make_shared<echo_provider>();
    scoped_device dev("TIMEOUT-1", board);
    FT_HANDLE handle = openBySerial("TIMEOUT-1");
    ASSERT_NE(handle, nullptr);

    ASSERT_EQ(FT_SetPipeTimeout(handle, in_pipe, 30), FT_OK);
    unsigned char buffer[8];
    uint32_t n = 7;
    EXPECT_EQ(FT_ReadPipe(handle, in_pipe, buffer, sizeof buffer, &n, nullptr), FT_TIMEOUT);
    EXPECT_EQ(n, 0u);

    // The board holds the OUT pipe: a second write gives up after the pipe's time-out.
    ASSERT_EQ(FT_SetPipeTimeout(handle, out_pipe, 30), FT_OK);
    board->holdWrites(true);
    auto first = std::async(std::launch::async, [&] { return writeBytes(handle, {1}); });
    ASSERT_TRUE(board->waitInFromHost());
    uint32_t written = 99;
    EXPECT_EQ(writeBytes(handle, {2}, &written), FT_TIMEOUT);
    EXPECT_EQ(written, 0u);
    board->holdWrites(false);
    EXPECT_EQ(first.get(), FT_OK);
    EXPECT_EQ(writeBytes(handle, {3}), FT_OK);
    EXPECT_EQ(board->receivedBytes(), (std::vector<uint8_t>{1, 3}));
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST(FtApi, RemovedDeviceFailsBlockedAndLaterCallsWithNotConnected)
{
    auto board = std::make_shared<echo_provider>();
    ASSERT_TRUE(ft60x_virtual::addDevice({"REMOVE-1", "Removed"}, board));
    FT_HANDLE handle = openBySerial("REMOVE-1");
    ASSERT_NE(handle, nullptr);

    auto reader = std::async(std::launch::async, [&] {
        unsigned char buffer[16];
        uint32_t n = 0;
        return FT_ReadPipe(handle, in_pipe, buffer, sizeof buffer, &n, nullptr);
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(ft60x_virtual::removeDevice("REMOVE-1"));
    EXPECT_FALSE(ft60x_virtual::removeDevice("REMOVE-1"));
    ASSERT_EQ(reader.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(reader.get(), FT_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(board->detaches, 1);
    EXPECT_FALSE(board->push({1})) << "the provider was told it is detached";

    EXPECT_EQ(writeBytes(handle, {1}), FT_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(FT_SetPipeTimeout(handle, in_pipe, 5), FT_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(findNode(listDevices(), "REMOVE-1"), nullptr);
    FT_STATUS status = FT_OK;
    EXPECT_EQ(openBySerial("REMOVE-1", &status), nullptr);
    EXPECT_EQ(status, FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(FT_Close(handle), FT_OK);
    EXPECT_EQ(board->detaches, 1) << "detached once only";
}

namespace {

// A board that unplugs itself when the host writes to it.
class self_removing_provider : public echo_provider {
public:
    void fromHost(const std::uint8_t *data, std::size_t size) override
    {
        echo_provider::fromHost(data, size);
        detachesDuringWrite = detaches.load();
        ft60x_virtual::removeDevice("SELF-REMOVE");
    }
    int detachesDuringWrite = -1;
};

} // namespace

TEST(FtApi, ABoardMayRemoveItselfFromInsideAWrite)
{
    auto board = std::make_shared<self_removing_provider>();
    board->echo = false;
    ASSERT_TRUE(ft60x_virtual::addDevice({"SELF-REMOVE", "x"}, board));
    FT_HANDLE handle = openBySerial("SELF-REMOVE");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(writeBytes(handle, {1, 2}), FT_OK);
    EXPECT_EQ(board->detachesDuringWrite, 0);
    EXPECT_EQ(board->detaches, 1) << "detached once the write had returned";
    EXPECT_EQ(writeBytes(handle, {3}), FT_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

#include "vendor_library.h"

TEST(FtVendorLibrary, MissingOrForeignLibrariesAreQuietlyAbsent)
{
    EXPECT_EQ(ft60x::vendor_library::load("libvetra-no-such-library.so"), nullptr);
    // A library that exists but is not the vendor's lacks the FT_ functions.
    EXPECT_EQ(ft60x::vendor_library::load("libm.so.6"), nullptr);
}

TEST(FtApi, TheInPipeHoldsABoundedAmountAndTheBoardWaitsForTheHostToRead)
{
    auto board = std::make_shared<echo_provider>();
    scoped_device dev("FULL-1", board);
    FT_HANDLE handle = openBySerial("FULL-1");
    ASSERT_NE(handle, nullptr);
    constexpr std::size_t chunk = 64 * 1024;
    constexpr std::size_t fits = ft60x_virtual::in_pipe_capacity / chunk;
    constexpr std::size_t chunks = 3 * fits;
    std::atomic<std::size_t> pushed{0};
    auto pusher = std::async(std::launch::async, [&] {
        for (std::size_t i = 0; i < chunks; ++i) {
            if (!board->push(std::vector<std::uint8_t>(chunk, static_cast<std::uint8_t>(i))))
                return false;
            ++pushed;
        }
        return true;
    });
    for (int wait = 0; wait < 500 && pushed < fits; ++wait)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(pushed.load(), fits) << "the board waits while the pipe is full";

    // Reading makes room; every byte arrives, in order.
    FT_STATUS status = FT_OK;
    const auto data = readBytes(handle, chunks * chunk, status);
    ASSERT_EQ(status, FT_OK);
    ASSERT_EQ(pusher.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(pusher.get());
    ASSERT_EQ(data.size(), chunks * chunk);
    for (std::size_t i = 0; i < chunks; ++i)
        ASSERT_EQ(data[i * chunk], static_cast<std::uint8_t>(i)) << i;

    // The answer to the host's own write goes in even when the pipe is full: holding it would
    // hold the OUT pipe too.
    for (std::size_t i = 0; i < fits; ++i)
        ASSERT_TRUE(board->push(std::vector<std::uint8_t>(chunk, 7)));
    auto write = std::async(std::launch::async, [&] { return writeBytes(handle, {1, 2, 3}); });
    ASSERT_EQ(write.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(write.get(), FT_OK);
    const auto full = readBytes(handle, fits * chunk + 3, status);
    ASSERT_EQ(full.size(), fits * chunk + 3);
    EXPECT_EQ(std::vector<std::uint8_t>(full.end() - 3, full.end()), (std::vector<std::uint8_t>{1, 2, 3}));

    // A board waiting on a full pipe is let go when the host closes the device.
    for (std::size_t i = 0; i < fits; ++i)
        ASSERT_TRUE(board->push(std::vector<std::uint8_t>(chunk, 9)));
    auto blocked = std::async(std::launch::async, [&] { return board->push(std::vector<std::uint8_t>(chunk, 9)); });
    EXPECT_EQ(blocked.wait_for(100ms), std::future_status::timeout);
    EXPECT_EQ(FT_Close(handle), FT_OK);
    EXPECT_EQ(blocked.wait_for(10s), std::future_status::ready);
}
