import QtQuick 2.15

// Legend entries in rows, centred, as many per row as fit.
Item {
    id: root

    property var plotterList: []
    readonly property int perRow: Math.max(1, Math.floor(width / 125))

    implicitHeight: grid.height

    Grid {
        id: grid
        anchors.horizontalCenter: parent.horizontalCenter
        columns: Math.min(root.perRow, Math.max(1, repeater.count))
        Repeater {
            id: repeater
            model: root.plotterList
            delegate: LegendElement { plotter: modelData }
        }
    }
}
