// Stands in for the backend wrapper: the board facts the legacy histogram views read.
import QtQuick 2.15

QtObject {
    property int numCh: 4
    property bool isConnected: true
}
