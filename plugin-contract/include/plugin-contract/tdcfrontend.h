#pragma once
// Enumerations shared between the program, its plugins and QML ("TDCFrontend" 1.0).

#include <QObject>

namespace TDCFrontend {
Q_NAMESPACE

enum EConnectionStatus { NONE = 0, CONNECTING = 1, CONNECTED = 2, DISCONNECTED = 3, ERROR_ = 4 };
Q_ENUM_NS(EConnectionStatus)

enum EEdge { FALLING = 2, RISING = 1, BOTH = 3 };
Q_ENUM_NS(EEdge)
} // namespace TDCFrontend
