import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15

// A collapsible legend box that opens on hover or when pinned.
Item {
    id: root

    property var plotterList: []
    readonly property bool expanded: hover.containsMouse || pin.checked

    width: expanded ? 200 : 90
    height: expanded ? 300 : 30
    clip: true

    Behavior on width { NumberAnimation { duration: 200 } }
    Behavior on height { NumberAnimation { duration: 200 } }

    Rectangle {
        anchors.fill: parent
        radius: 4
        color: Material.background
        border.color: Material.color(Material.Grey, Material.Shade300)
    }
    MouseArea {
        id: hover
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.NoButton
    }
    Row {
        id: title
        height: 30
        x: 8
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: "Legend"
            font.pointSize: 10
            color: Material.foreground
        }
        CheckBox {
            id: pin
            visible: root.expanded
            height: 30
            anchors.verticalCenter: parent.verticalCenter
        }
    }
    Flickable {
        y: 30
        width: 200
        height: 270
        contentHeight: legend.implicitHeight
        clip: true
        VerticalLegend {
            id: legend
            plotterList: root.plotterList
        }
    }
}
