import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import QtQuick.Dialogs 1.2

// One legend entry: the plotter's colour dot and name. Clicking the name shows or hides the
// plotter; clicking the dot picks its colour.
Item {
    id: root

    property var plotter: null

    width: 125
    height: 30

    Rectangle {
        id: dot
        width: 14
        height: 14
        radius: 7
        anchors.left: parent.left
        anchors.leftMargin: 6
        anchors.verticalCenter: parent.verticalCenter
        color: root.plotter && root.plotter.visible ? root.plotter.color : Material.color(Material.Grey)
        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: if (root.plotter && root.plotter.visible) colorDialog.open()
        }
    }
    Text {
        anchors.left: dot.right
        anchors.leftMargin: 6
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        elide: Text.ElideRight
        font.pointSize: 9
        color: root.plotter && root.plotter.visible ? Material.foreground : Material.color(Material.Grey)
        text: root.plotter ? root.plotter.name : ""
        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: if (root.plotter) root.plotter.visible = !root.plotter.visible
        }
    }
    ColorDialog {
        id: colorDialog
        showAlphaChannel: true
        color: root.plotter ? root.plotter.color : "white"
        onAccepted: if (root.plotter) root.plotter.color = colorDialog.color
    }
}
