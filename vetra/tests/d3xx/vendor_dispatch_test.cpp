// The device table with a vendor library behind it: a fake function table stands in for the
// vendor's run-time library, which this machine does not have.

#include "echo_provider.h"

#include "device_registry.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// One real bridge, "VENDOR-1", as the vendor library would report it.
struct fake_vendor {
    static int opened;
    static int closed;
    static FT_HANDLE const handle;

    static FT_STATUS createDeviceInfoList(uint32_t *n)
    {
        *n = 1;
        return FT_OK;
    }
    static FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *nodes, uint32_t *n)
    {
        nodes[0] = FT_DEVICE_LIST_INFO_NODE{};
        nodes[0].Flags = FT_FLAGS_SUPERSPEED | (opened > closed ? FT_FLAGS_OPENED : 0u);
        nodes[0].Type = FT_DEVICE_600;
        std::strcpy(nodes[0].SerialNumber, "VENDOR-1");
        nodes[0].ftHandle = opened > closed ? handle : nullptr;
        *n = 1;
        return FT_OK;
    }
    static FT_STATUS create(void *key, uint32_t, FT_HANDLE *out)
    {
        if (std::strcmp(static_cast<const char *>(key), "VENDOR-1") != 0)
            return FT_DEVICE_NOT_FOUND;
        ++opened;
        *out = handle;
        return FT_OK;
    }
    static FT_STATUS setPipeTimeout(FT_HANDLE h, unsigned char, uint32_t)
    {
        return h == handle ? FT_OK : FT_INVALID_HANDLE;
    }
    static FT_STATUS transfer(FT_HANDLE h, unsigned char, unsigned char *, uint32_t length, uint32_t *done,
                              LPOVERLAPPED)
    {
        *done = length;
        return h == handle ? FT_OK : FT_INVALID_HANDLE;
    }
    static FT_STATUS abortPipe(FT_HANDLE, unsigned char) { return FT_OK; }
    static FT_STATUS close(FT_HANDLE h)
    {
        ++closed;
        return h == handle ? FT_OK : FT_INVALID_HANDLE;
    }
};
int fake_vendor::opened = 0;
int fake_vendor::closed = 0;
// An address the way vendor handles are: it must never be taken for a handle of ours.
FT_HANDLE const fake_vendor::handle = reinterpret_cast<FT_HANDLE>(0x7f0000001000);

const ft60x::vendor_library fake_library{
    fake_vendor::createDeviceInfoList,
    fake_vendor::getDeviceInfoList,
    fake_vendor::create,
    fake_vendor::setPipeTimeout,
    fake_vendor::transfer,
    fake_vendor::transfer,
    fake_vendor::abortPipe,
    fake_vendor::close,
};

} // namespace

TEST(VendorDispatch, VendorAndVirtualDevicesShareOneTableWithoutMixingHandles)
{
    fake_vendor::opened = fake_vendor::closed = 0;
    ft60x::device_registry registry(&fake_library);
    auto board = std::make_shared<echo_provider>();
    ASSERT_TRUE(registry.addDevice({"VIRT-1", "virtual"}, board));

    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes;
    ASSERT_EQ(registry.list(nodes), FT_OK);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_STREQ(nodes[0].SerialNumber, "VENDOR-1") << "vendor devices first";
    EXPECT_STREQ(nodes[1].SerialNumber, "VIRT-1");

    FT_HANDLE vendorHandle = nullptr, virtualHandle = nullptr;
    ASSERT_EQ(registry.create("VENDOR-1", FT_OPEN_BY_SERIAL_NUMBER, &vendorHandle), FT_OK);
    ASSERT_EQ(registry.create("VIRT-1", FT_OPEN_BY_SERIAL_NUMBER, &virtualHandle), FT_OK);
    EXPECT_EQ(registry.create("NEITHER", FT_OPEN_BY_SERIAL_NUMBER, &virtualHandle), FT_DEVICE_NOT_FOUND);
    EXPECT_NE(vendorHandle, fake_vendor::handle) << "the vendor's own handle stays inside the table";
    EXPECT_NE(vendorHandle, virtualHandle);

    ft60x::device_registry::target t;
    ASSERT_TRUE(registry.find(vendorHandle, t));
    EXPECT_EQ(t.vendorHandle, fake_vendor::handle);
    EXPECT_FALSE(t.session);
    ASSERT_TRUE(registry.find(virtualHandle, t));
    EXPECT_TRUE(t.session);
    EXPECT_EQ(t.vendorHandle, nullptr);
    EXPECT_FALSE(registry.find(fake_vendor::handle, t)) << "a raw vendor handle is not one of ours";

    // Listed open handles are ours for both kinds.
    ASSERT_EQ(registry.list(nodes), FT_OK);
    EXPECT_EQ(nodes[0].ftHandle, vendorHandle);
    EXPECT_EQ(nodes[1].ftHandle, virtualHandle);

    EXPECT_EQ(registry.close(vendorHandle), FT_OK);
    EXPECT_EQ(fake_vendor::closed, 1);
    EXPECT_EQ(registry.close(vendorHandle), FT_INVALID_HANDLE) << "closed once, never passed on again";
    EXPECT_EQ(fake_vendor::closed, 1);
    EXPECT_EQ(registry.close(virtualHandle), FT_OK);
    EXPECT_EQ(board->detaches, 1);
}
