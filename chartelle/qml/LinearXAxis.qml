import QtQuick 2.15
import QtQuick.Controls.Material 2.15
import "utils.js" as Utils

// Tick marks and labels under a chart; ticks are power-of-two multiples of a power of 1000.
Item {
    id: root

    property rect rectArea: Qt.rect(0, 0, 1, 1)
    property var textFunction: null
    property int minTickWidth: 70
    readonly property int maxNumTick: Math.max(1, Math.floor(width / minTickWidth))
    readonly property real minDxTick: Math.pow(1000, Math.floor(Math.log10(Math.max(rectArea.width, 1e-300)) / 3))
    readonly property real dxTick: Math.pow(2, Math.ceil(Math.log2((rectArea.width / minDxTick) / maxNumTick))) * minDxTick
    readonly property real offset: Math.ceil(rectArea.x / dxTick) * dxTick
    readonly property int tickCount: rectArea.width > 0 && dxTick > 0
                                     ? Math.max(0, Math.min(Math.floor((rectArea.width - offset + rectArea.x) / dxTick) + 1, maxNumTick))
                                     : 0

    function format_num(num, decimals) {
        return Utils.format_num(num, decimals)
    }

    function label(value) {
        return textFunction ? textFunction(value, 2) : format_num(value, 2)
    }

    height: 24

    Repeater {
        model: root.tickCount
        delegate: Item {
            readonly property real value: root.offset + index * root.dxTick
            x: (value - root.rectArea.x) / root.rectArea.width * root.width
            Rectangle {
                width: 1
                height: 8
                color: Material.color(Material.Grey, Material.Shade400)
            }
            Text {
                y: 9
                anchors.horizontalCenter: parent.left
                font.pointSize: 9
                color: Material.color(Material.Grey, Material.Shade700)
                text: root.label(parent.value)
            }
        }
    }
}
