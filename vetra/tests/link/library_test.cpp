// The library class: version texts, error categories, open arguments, the closed state,
// moving, and the device list.

#include "link_fixture.h"

#include <cctype>

namespace {

using mme_common::BurstType;

TEST(library, VersionTexts)
{
    EXPECT_EQ(vetra::version(), "1.2.5");
    const std::string info = vetra::buildInfo();
    EXPECT_EQ(info.rfind("Version v1.2.5 built by ", 0), 0u) << info;
    // "... built by <host> at YYYY-MM-DD hh:mm:ss"
    const auto at = info.rfind(" at ");
    ASSERT_NE(at, std::string::npos) << info;
    EXPECT_GT(at, std::string("Version v1.2.5 built by ").size()) << "no host name: " << info;
    const std::string stamp = info.substr(at + 4);
    const std::string shape = "dddd-dd-dd dd:dd:dd";
    ASSERT_EQ(stamp.size(), shape.size()) << info;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'd')
            EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(stamp[i]))) << info;
        else
            EXPECT_EQ(stamp[i], shape[i]) << info;
    }
}

TEST(library, ErrorCategories)
{
    const std::pair<int, const char *> vetraMessages[] = {
        {0, "No errors"},
        {1, "No such device"},
        {2, "Communication device disconnected"},
        {3, "Specified address already registered"},
        {4, "Specified address not in callback map"},
        {5, "User callback threw"},
        {6, "Unknown error"},
        {77, "Unknown error"},
    };
    for (const auto &[value, text] : vetraMessages)
        EXPECT_EQ(std::error_code(value, vetra_category()).message(), text);
    EXPECT_STREQ(vetra_category().name(), "Vetra");
    EXPECT_EQ(make_error_code(vetraError::no_such_device), std::errc::no_such_device);
    EXPECT_EQ(make_error_code(vetraError::device_disconnected), std::errc::connection_aborted);
    EXPECT_EQ(make_error_code(vetraError::address_not_registered), std::errc::no_such_device_or_address);
    EXPECT_EQ(std::error_code(5, vetra_category()).default_error_condition(),
              std::error_condition(5, vetra_category()));

    const std::pair<int, const char *> mmeMessages[] = {
        {0, "No errors"},
        {1, "AXI DataMover internal error"},
        {2, "AXI decode error"},
        {3, "AXI slave error"},
        {4, "AXI decode and slave error"},
        {5, "Timed out, no response received"},
        {6, "Unknown error"},
        {7, "Unknown error"},
    };
    for (const auto &[value, text] : mmeMessages)
        EXPECT_EQ(std::error_code(value, mme_category()).message(), text);
    EXPECT_STREQ(mme_category().name(), "Memory Management Engine");
    EXPECT_EQ(make_error_code(mme_error::axi_internal_error), std::errc::io_error);
    EXPECT_EQ(make_error_code(mme_error::axi_decode_error), std::errc::bad_address);
    EXPECT_EQ(make_error_code(mme_error::axi_slave_error), std::errc::protocol_error);
    EXPECT_EQ(make_error_code(mme_error::axi_decode_and_slave_error), std::errc::bad_address);
    EXPECT_EQ(make_error_code(mme_error::unknown_error).default_error_condition(),
              std::error_condition(6, mme_category()));
}

TEST(library, OpenArguments)
{
    vetra link;
    EXPECT_THROW(link.open({{"name", "/dev/null"}}, {}, 1, 2), std::out_of_range);
    const std::error_code usb = link.open({{"class", "USB"}}, {}, 1, 2);
    EXPECT_EQ(usb, make_error_code(vetraError::no_such_device));
    EXPECT_EQ(usb.message(), "No such device");
    EXPECT_EQ(link.open({{"class", "Serial"}}, {}, 1, 2), make_error_code(vetraError::no_such_device));

    const std::error_code missing = link.open({{"class", "Serial"}, {"name", "/dev/vetra-no-such-port"}}, {}, 1, 2);
    EXPECT_TRUE(missing);
    EXPECT_EQ(missing, std::errc::no_such_file_or_directory);
    EXPECT_THROW(link.getTimeout(), mme_defs::device_disconnected);
}

TEST(library, ClosedObjectThrowsOnEveryLinkOperation)
{
    vetra link;
    const auto data = std::make_shared<const std::vector<std::uint32_t>>(1, 1u);
    const auto expectThrow = [](auto operation) {
        try {
            operation();
            ADD_FAILURE() << "no exception";
        } catch (const mme_defs::device_disconnected &e) {
            EXPECT_STREQ(e.what(), "Communication device not connected");
        }
    };
    expectThrow([&] { link.read(0, 1, BurstType::INCREMENTING); });
    expectThrow([&] { link.write(0, data, BurstType::INCREMENTING); });
    expectThrow([&] { link.asyncRead(0, 1, BurstType::INCREMENTING); });
    expectThrow([&] { link.asyncRead(0, 1, BurstType::INCREMENTING, {}, {}); });
    expectThrow([&] { link.asyncWrite(0, data, BurstType::INCREMENTING); });
    expectThrow([&] { link.asyncWrite(0, data, BurstType::INCREMENTING, {}, {}); });
    expectThrow([&] { link.setRangeCallback(0, 1, {}, {}); });
    expectThrow([&] { link.deleteRangeCallback(0); });
    expectThrow([&] { link.getTimeout(); });
    expectThrow([&] { link.setTimeout(std::chrono::milliseconds(5)); });
    expectThrow([&] { link.sendPacket(3, {data}); });
    expectThrow([&] { link.setStreamCallback(3, {}); });
    expectThrow([&] { link.deleteStreamCallback(3); });
    // Zero words on a closed link: the closed state is reported first.
    expectThrow([&] { link.read(0, 0, BurstType::INCREMENTING); });
    link.close(); // harmless when closed
}

TEST(library, DeviceListNamesTheInterfacesThatAnswered)
{
    vetra link;
    const auto [devices, interfaces] = link.getDevices();
    ASSERT_FALSE(interfaces.empty());
    EXPECT_EQ(interfaces.front(), "Serial");
    for (const auto &device : devices) {
        const std::string &kind = device.at("class");
        EXPECT_TRUE(kind == "Serial" || kind == "D3XX" || kind == "LibFTDI") << kind;
        EXPECT_NE(std::find(interfaces.begin(), interfaces.end(), kind), interfaces.end());
        if (kind == "Serial") {
            EXPECT_NE(device.at("name").rfind("/dev/ttyS", 0), 0u);
        }
    }
    // A second call starts from an empty list.
    const std::size_t first = devices.size();
    EXPECT_EQ(link.getDevices().first.size(), first);
}

class library_link : public link_fixture {};

TEST_F(library_link, OpenTwiceIsRefusedAndTheLinkStays)
{
    answerEverything();
    EXPECT_EQ(link.getTimeout(), std::chrono::seconds(10));
    EXPECT_EQ(link.open({{"class", "Serial"}, {"name", board.portName()}}, {}, 1, 2),
              std::make_error_code(std::errc::already_connected));
    EXPECT_FALSE(link.read(0x10, 1, BurstType::INCREMENTING).get().first);
}

TEST_F(library_link, MovingCarriesTheLinkAndLeavesTheSourceClosed)
{
    answerEverything();
    vetra moved(std::move(link));
    EXPECT_THROW(link.read(0x10, 1, BurstType::INCREMENTING), mme_defs::device_disconnected);
    auto result = moved.read(0x10, 2, BurstType::INCREMENTING).get();
    EXPECT_FALSE(result.first);
    EXPECT_EQ(*result.second, (std::vector<std::uint32_t>{0x10, 0x11}));

    vetra target;
    target = std::move(moved);
    EXPECT_THROW(moved.getTimeout(), mme_defs::device_disconnected);
    EXPECT_FALSE(target.write(0x10, std::make_shared<const std::vector<std::uint32_t>>(2, 0u),
                              BurstType::INCREMENTING)
                     .get());
    // The moved-from object can be used again.
    EXPECT_EQ(link.open({{"class", "USB"}}, {}, 1, 2), make_error_code(vetraError::no_such_device));
}

TEST_F(library_link, ReopenAfterCloseUsesAFreshLink)
{
    answerEverything();
    link.close();
    EXPECT_THROW(link.getTimeout(), mme_defs::device_disconnected);
    board_sim second;
    ASSERT_FALSE(link.open({{"class", "Serial"}, {"name", second.portName()}}, {{"baudrate", "9600"}}, 3, 4));
    second.releaseSlave();
    second.setScript([](board_sim &b, const board_sim::packet &p) {
        board_sim::answer(b, p);
        return true;
    });
    auto result = link.read(0x77, 1, BurstType::INCREMENTING).get();
    EXPECT_FALSE(result.first);
    EXPECT_EQ(*result.second, std::vector<std::uint32_t>{0x77});
    link.close();
}

} // namespace
