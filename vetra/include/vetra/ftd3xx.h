#pragma once
// The FT60x (D3XX) device interface exported by libvetra. Programs written for the vendor's
// D3XX run-time library call these functions unchanged; behind them are the vendor library
// (loaded at run time when installed, so a real board works without a rebuild) and the
// in-process virtual devices of <vetra/ft60x_virtual.h>.
//
// Handles are issued by libvetra for both kinds of device and never collide; a closed
// handle stays invalid. Every function may be called from any thread; FT_ReadPipe and
// FT_WritePipe block, FT_AbortPipe ends a blocked FT_ReadPipe on the same pipe.

#include <stdint.h>

#include "vetra_export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void *FT_HANDLE;
typedef uint32_t FT_STATUS;

// Opaque: only a null pointer (synchronous transfer) is supported for virtual devices.
struct _OVERLAPPED;
typedef struct _OVERLAPPED *LPOVERLAPPED;

enum FT_STATUS_VALUES {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_DEVICE_NOT_OPENED_FOR_ERASE = 8,
    FT_DEVICE_NOT_OPENED_FOR_WRITE = 9,
    FT_FAILED_TO_WRITE_DEVICE = 10,
    FT_EEPROM_READ_FAILED = 11,
    FT_EEPROM_WRITE_FAILED = 12,
    FT_EEPROM_ERASE_FAILED = 13,
    FT_EEPROM_NOT_PRESENT = 14,
    FT_EEPROM_NOT_PROGRAMMED = 15,
    FT_INVALID_ARGS = 16,
    FT_NOT_SUPPORTED = 17,
    FT_NO_MORE_ITEMS = 18,
    FT_TIMEOUT = 19,
    FT_OPERATION_ABORTED = 20,
    FT_RESERVED_PIPE = 21,
    FT_INVALID_CONTROL_REQUEST_DIRECTION = 22,
    FT_INVALID_CONTROL_REQUEST_TYPE = 23,
    FT_IO_PENDING = 24,
    FT_IO_INCOMPLETE = 25,
    FT_HANDLE_EOF = 26,
    FT_BUSY = 27,
    FT_NO_SYSTEM_RESOURCES = 28,
    FT_DEVICE_LIST_NOT_READY = 29,
    FT_DEVICE_NOT_CONNECTED = 30,
    FT_INCORRECT_DEVICE_PATH = 31,
    FT_OTHER_ERROR = 32,
};

// FT_Create flags.
#define FT_OPEN_BY_SERIAL_NUMBER 0x00000001
#define FT_OPEN_BY_DESCRIPTION 0x00000002

// FT_DEVICE_LIST_INFO_NODE.Flags bits.
#define FT_FLAGS_OPENED 0x00000001
#define FT_FLAGS_HISPEED 0x00000002
#define FT_FLAGS_SUPERSPEED 0x00000004

// FT_DEVICE_LIST_INFO_NODE.Type values.
#define FT_DEVICE_600 600
#define FT_DEVICE_601 601
#define FT_DEVICE_602 602
#define FT_DEVICE_603 603

typedef struct _FT_DEVICE_LIST_INFO_NODE {
    uint32_t Flags;
    uint32_t Type;
    uint32_t ID;        // vendor id << 16 | product id
    uint32_t LocId;
    char SerialNumber[16];
    char Description[32];
    FT_HANDLE ftHandle; // the handle when opened by this process, else null
} FT_DEVICE_LIST_INFO_NODE;

// Takes a snapshot of the attached devices (per calling thread) and returns their number.
VETRA_EXPORT FT_STATUS FT_CreateDeviceInfoList(uint32_t *lpdwNumDevs);

// Copies the calling thread's snapshot (taken now if there is none) into ptDest.
// *lpdwNumDevs is the capacity of ptDest on entry (the count FT_CreateDeviceInfoList
// returned) and the number of nodes written on return.
VETRA_EXPORT FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *ptDest, uint32_t *lpdwNumDevs);

// Opens a device by serial number (pvArg is a C string) or description.
VETRA_EXPORT FT_STATUS FT_Create(void *pvArg, uint32_t dwFlags, FT_HANDLE *pftHandle);

// Time-out of one pipe in milliseconds; 0 means none.
VETRA_EXPORT FT_STATUS FT_SetPipeTimeout(FT_HANDLE ftHandle, unsigned char ucPipeID, uint32_t ulTimeoutInMs);

VETRA_EXPORT FT_STATUS FT_WritePipe(FT_HANDLE ftHandle, unsigned char ucPipeID, unsigned char *pucBuffer,
                                    uint32_t ulBufferLength, uint32_t *pulBytesTransferred,
                                    LPOVERLAPPED pOverlapped);

// Returns as soon as some data is there, with its count in *pulBytesTransferred.
VETRA_EXPORT FT_STATUS FT_ReadPipe(FT_HANDLE ftHandle, unsigned char ucPipeID, unsigned char *pucBuffer,
                                   uint32_t ulBufferLength, uint32_t *pulBytesTransferred,
                                   LPOVERLAPPED pOverlapped);

// Ends a transfer blocked on the pipe; a blocked FT_ReadPipe returns FT_OPERATION_ABORTED.
VETRA_EXPORT FT_STATUS FT_AbortPipe(FT_HANDLE ftHandle, unsigned char ucPipeID);

VETRA_EXPORT FT_STATUS FT_Close(FT_HANDLE ftHandle);

#ifdef __cplusplus
}
#endif
