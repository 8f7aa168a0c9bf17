// A gauge of ticks over 270 degrees; ticks up to the position are lit.
import QtQuick 2.15
import "."

Item {
    id: root

    property real speed: 0
    property int tickNumber: 15
    property bool animationEnabled: true
    property int animationSpeed: 200
    property color activeColor: Style.accent
    property color idleColor: Style.lightGrey
    property real displayedSpeed: speed

    implicitWidth: 150
    implicitHeight: 150

    Behavior on displayedSpeed {
        enabled: root.animationEnabled
        NumberAnimation { duration: root.animationSpeed }
    }

    Repeater {
        model: root.tickNumber
        delegate: Item {
            width: root.width
            height: root.height
            rotation: 55 + 270 / root.tickNumber * index
            Rectangle {
                readonly property bool current: index === Math.round(root.displayedSpeed)
                x: parent.width / 2 - width / 2
                y: parent.height - height
                width: 4
                height: current ? 22 : 16
                radius: 2
                color: index <= Math.round(root.displayedSpeed) ? root.activeColor : root.idleColor
            }
        }
    }
}
