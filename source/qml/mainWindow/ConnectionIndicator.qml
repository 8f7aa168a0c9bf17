// A lit USB mark in the left bar while a board is connected; hovering names the board.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "../utils"

Item {
    id: root

    property string boardName: ""

    implicitWidth: 28
    implicitHeight: 28

    Rectangle {
        anchors.centerIn: parent
        width: 12; height: 12; radius: 6
        color: "#66bb6a"
        SequentialAnimation on opacity {
            loops: Animation.Infinite
            running: root.visible
            NumberAnimation { to: 0.4; duration: 900 }
            NumberAnimation { to: 1.0; duration: 900 }
        }
    }

    MouseArea {
        id: hover
        anchors.fill: parent
        hoverEnabled: true
    }

    ToolTip.visible: hover.containsMouse
    ToolTip.text: "Connected to " + root.boardName
    ToolTip.timeout: 2000
}
