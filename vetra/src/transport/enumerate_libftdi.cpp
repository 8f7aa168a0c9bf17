#include "transport/async_libftdi.h"

#include <vetra/vetra.h>

#include <ftdi.h>

#include <memory>

namespace {

const char *findAllFailure(int result)
{
    switch (result) {
    case -3: return "ftdi_usb_find_all() failed: out of memory";
    case -5: return "ftdi_usb_find_all() failed: libusb_get_device_list() failed";
    case -6: return "ftdi_usb_find_all() failed: libusb_get_device_descriptor() failed";
    default: return "ftdi_usb_find_all() failed: unknown error.";
    }
}

} // namespace

void vetra::getLibFTDIDevices(const std::string &interfaceName, device_list &devices)
{
    std::unique_ptr<ftdi_context, void (*)(ftdi_context *)> context(ftdi_new(), ftdi_free);
    if (!context)
        throw async_libftdi::libftdi_exception("ftdi_new() failed");

    ftdi_device_list *list = nullptr;
    const int found = ftdi_usb_find_all(context.get(), &list, async_libftdi::vendor_id, async_libftdi::product_id);
    if (found < 0)
        throw async_libftdi::libftdi_exception(findAllFailure(found));
    std::unique_ptr<ftdi_device_list, void (*)(ftdi_device_list *)> owned(list, ftdi_list_free2);

    for (ftdi_device_list *node = list; node; node = node->next) {
        char manufacturer[256] = {};
        char description[256] = {};
        char serial[256] = {};
        // A bridge whose strings cannot be read (no permission, busy) cannot be opened by
        // serial number either; it is left out.
        if (ftdi_usb_get_strings2(context.get(), node->dev, manufacturer, sizeof manufacturer, description,
                                  sizeof description, serial, sizeof serial) < 0)
            continue;
        device_map device;
        device["class"] = interfaceName;
        device["description"] = description;
        device["serialNumber"] = serial;
        device["manufacturer"] = manufacturer;
        devices.push_back(std::move(device));
    }
}
