import QtQuick 2.15

// Legend entries in one column.
Item {
    id: root

    property var plotterList: []

    implicitWidth: 125
    implicitHeight: column.height

    Column {
        id: column
        Repeater {
            model: root.plotterList
            delegate: LegendElement { plotter: modelData }
        }
    }
}
