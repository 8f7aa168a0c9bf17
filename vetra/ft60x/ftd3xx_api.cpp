// The exported FT_ functions: each finds what a handle stands for and passes the call to the
// virtual session or to the vendor library.

#include "device_registry.h"

#include <vetra/ft60x_virtual.h>
#include <vetra/ftd3xx.h>

#include <algorithm>

using ft60x::device_registry;

namespace {

device_registry &registry()
{
    return device_registry::instance();
}

} // namespace

namespace ft60x_virtual {

bool addDevice(const device_info &info, std::shared_ptr<provider> board)
{
    return registry().addDevice(info, std::move(board));
}

bool removeDevice(const std::string &serialNumber)
{
    return registry().removeDevice(serialNumber);
}

std::vector<std::string> devices()
{
    return registry().devices();
}

} // namespace ft60x_virtual

extern "C" {

FT_STATUS FT_CreateDeviceInfoList(uint32_t *lpdwNumDevs)
{
    if (!lpdwNumDevs)
        return FT_INVALID_PARAMETER;
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes;
    const FT_STATUS status = registry().list(nodes);
    *lpdwNumDevs = status == FT_OK ? static_cast<uint32_t>(nodes.size()) : 0;
    return status;
}

FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *ptDest, uint32_t *lpdwNumDevs)
{
    if (!lpdwNumDevs || (!ptDest && *lpdwNumDevs > 0))
        return FT_INVALID_PARAMETER;
    // Devices may come and go between the two calls; never write past what the caller sized.
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes;
    const FT_STATUS status = registry().list(nodes);
    if (status != FT_OK) {
        *lpdwNumDevs = 0;
        return status;
    }
    const std::size_t n = std::min<std::size_t>(*lpdwNumDevs, nodes.size());
    std::copy_n(nodes.begin(), n, ptDest);
    *lpdwNumDevs = static_cast<uint32_t>(n);
    return FT_OK;
}

FT_STATUS FT_Create(void *pvArg, uint32_t dwFlags, FT_HANDLE *pftHandle)
{
    return registry().create(static_cast<const char *>(pvArg), dwFlags, pftHandle);
}

FT_STATUS FT_SetPipeTimeout(FT_HANDLE ftHandle, unsigned char ucPipeID, uint32_t ulTimeoutInMs)
{
    device_registry::target t;
    if (!registry().find(ftHandle, t))
        return FT_INVALID_HANDLE;
    if (t.session)
        return t.session->setPipeTimeout(ucPipeID, ulTimeoutInMs);
    return registry().vendor()->setPipeTimeout(t.vendorHandle, ucPipeID, ulTimeoutInMs);
}

FT_STATUS FT_WritePipe(FT_HANDLE ftHandle, unsigned char ucPipeID, unsigned char *pucBuffer,
                       uint32_t ulBufferLength, uint32_t *pulBytesTransferred, LPOVERLAPPED pOverlapped)
{
    device_registry::target t;
    if (!registry().find(ftHandle, t))
        return FT_INVALID_HANDLE;
    if (!t.session)
        return registry().vendor()->writePipe(t.vendorHandle, ucPipeID, pucBuffer, ulBufferLength,
                                              pulBytesTransferred, pOverlapped);
    if (pOverlapped)
        return FT_NOT_SUPPORTED;
    if (!pulBytesTransferred || (!pucBuffer && ulBufferLength > 0))
        return FT_INVALID_PARAMETER;
    *pulBytesTransferred = 0;
    return t.session->write(ucPipeID, pucBuffer, ulBufferLength, pulBytesTransferred);
}

FT_STATUS FT_ReadPipe(FT_HANDLE ftHandle, unsigned char ucPipeID, unsigned char *pucBuffer,
                      uint32_t ulBufferLength, uint32_t *pulBytesTransferred, LPOVERLAPPED pOverlapped)
{
    device_registry::target t;
    if (!registry().find(ftHandle, t))
        return FT_INVALID_HANDLE;
    if (!t.session)
        return registry().vendor()->readPipe(t.vendorHandle, ucPipeID, pucBuffer, ulBufferLength,
                                             pulBytesTransferred, pOverlapped);
    if (pOverlapped)
        return FT_NOT_SUPPORTED;
    if (!pulBytesTransferred || !pucBuffer || ulBufferLength == 0)
        return FT_INVALID_PARAMETER;
    *pulBytesTransferred = 0;
    return t.session->read(ucPipeID, pucBuffer, ulBufferLength, pulBytesTransferred);
}

FT_STATUS FT_AbortPipe(FT_HANDLE ftHandle, unsigned char ucPipeID)
{
    device_registry::target t;
    if (!registry().find(ftHandle, t))
        return FT_INVALID_HANDLE;
    if (t.session)
        return t.session->abort(ucPipeID);
    return registry().vendor()->abortPipe(t.vendorHandle, ucPipeID);
}

FT_STATUS FT_Close(FT_HANDLE ftHandle)
{
    return registry().close(ftHandle);
}

} // extern "C"
