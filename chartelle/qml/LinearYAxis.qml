import QtQuick 2.15
import QtQuick.Controls.Material 2.15
import "utils.js" as Utils

// Grid lines across the chart with value labels left of it.
Item {
    id: root

    property rect rectArea: Qt.rect(0, 0, 1, 1)
    property bool isLogScale: false
    property var textFunction: Utils.format_event
    property int tickHeight: 50
    readonly property int maxNumYTicks: Math.max(1, Math.floor(height / tickHeight))
    readonly property real minDyTick: Math.pow(1000, Math.floor(Math.log10(Math.max(rectArea.height, 1e-300)) / 3))
    readonly property real dyTicks: Math.pow(2, Math.ceil(Math.log2((rectArea.height / minDyTick) / maxNumYTicks))) * minDyTick
    readonly property int tickCount: rectArea.height > 0 && dyTicks > 0
                                     ? Math.min(Math.floor(rectArea.height / dyTicks) + 1, maxNumYTicks)
                                     : 0

    Repeater {
        model: root.tickCount
        delegate: Item {
            readonly property real value: root.dyTicks * index
            readonly property bool shown: !root.isLogScale || Math.floor(value) === value
            visible: shown
            width: root.width
            y: root.height - (root.dyTicks * index) / root.rectArea.height * root.height
            Rectangle {
                width: parent.width
                height: 1
                color: Material.color(Material.Grey, Material.Shade300)
            }
            Text {
                anchors.right: parent.left
                anchors.rightMargin: 16
                anchors.verticalCenter: parent.top
                font.pointSize: 9
                color: Material.color(Material.Grey, Material.Shade700)
                textFormat: root.isLogScale ? Text.RichText : Text.PlainText
                text: root.isLogScale ? "10<sup>" + Math.floor(parent.value) + "</sup>"
                                      : root.textFunction(parent.value)
            }
        }
    }
}
