// The cards of all channels, as many per row as whole cells fit.
import QtQuick 2.15
import QtQuick.Controls 2.15

Flickable {
    id: root

    property var channels: []
    property var model: null
    property var histories: []
    readonly property int cellWidth: 324
    readonly property int cellHeight: 174
    readonly property int columnsFit: Math.max(1, Math.floor(width / cellWidth))

    function rateOf(index) {
        var list = histories && index < histories.length ? histories[index] : null;
        return list && list.length > 0 ? list[list.length - 1] : 0;
    }

    objectName: "thresholdGrid"
    contentHeight: grid.height + 24
    clip: true
    ScrollBar.vertical: ScrollBar {}

    Grid {
        id: grid
        y: 12
        x: Math.max(0, (root.width - width) / 2)
        columns: root.columnsFit

        Repeater {
            model: root.channels ? root.channels.length : 0
            delegate: Item {
                width: root.cellWidth
                height: root.cellHeight
                ThresholdCard {
                    anchors.centerIn: parent
                    channel: root.channels[index]
                    model: root.model
                    rate: root.rateOf(index)
                }
            }
        }
    }
}
