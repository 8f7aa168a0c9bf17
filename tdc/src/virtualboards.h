#pragma once
// Virtual boards on request: TESSARON_VIRTUAL_BOARDS=N registers N virtual Kestrane boards as
// in-process FT60x devices, once per process, with the profile TESSARON_BOARD_PROFILE names
// (the built-in one without it). Without the variable nothing is registered.

#include <cstdint>
#include <string>

// Registers the boards the environment asks for, the first time it is called.
void ensureVirtualBoards();

// The channel count of the registered virtual boards, 0 when there are none.
std::uint32_t virtualBoardChannels();

// True for the serial numbers the virtual boards are listed with.
bool isVirtualBoardSerial(const std::string &serialNumber);
