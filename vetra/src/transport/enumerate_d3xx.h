#pragma once
// The device map of one FT60x bridge as the FT_ layer describes it.

#include <vetra/ftd3xx.h>

#include <map>
#include <string>

std::map<std::string, std::string> d3xxDeviceMap(const std::string &interfaceName,
                                                 const FT_DEVICE_LIST_INFO_NODE &node);
