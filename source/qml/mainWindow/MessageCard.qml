// One on-screen message: slides in from the right, closes after its time or on its close icon.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "../utils"

Item {
    id: root

    property string type: "info"
    property string title: ""
    property string message: ""
    property string icon: "Auto"
    property int time: 5000
    readonly property var colours: Style.message[type] !== undefined ? Style.message[type] : Style.message.info
    readonly property string iconName: icon !== "Auto" ? icon
        : ({ "info": "info", "success": "check-circle", "warning": "warning", "error": "error" })[type] || "info"

    signal closed()

    width: 340
    height: Math.max(64, textColumn.implicitHeight + 20)

    function close() {
        closeTimer.stop();
        closed();
        root.destroy();
    }

    Rectangle {
        id: card
        objectName: "messageCard"
        width: parent.width
        height: parent.height
        radius: 4
        color: root.colours.background
        x: 400
        Component.onCompleted: x = 0
        Behavior on x { NumberAnimation { duration: 250; easing.type: Easing.OutCubic } }

        ColoredIcon {
            id: typeIcon
            anchors { left: parent.left; leftMargin: 10; verticalCenter: parent.verticalCenter }
            width: 28; height: 28
            sourceImage: root.iconName
            color: root.colours.text
        }

        Column {
            id: textColumn
            anchors { left: typeIcon.right; leftMargin: 10; right: closeIcon.left; rightMargin: 6
                      verticalCenter: parent.verticalCenter }
            spacing: 2
            Label {
                text: root.title
                font.bold: true
                color: root.colours.text
                width: parent.width
                elide: Text.ElideRight
            }
            Label {
                text: root.message
                color: root.colours.text
                width: parent.width
                wrapMode: Text.Wrap
            }
        }

        ColoredIcon {
            id: closeIcon
            anchors { right: parent.right; rightMargin: 8; top: parent.top; topMargin: 8 }
            width: 18; height: 18
            sourceImage: "close"
            color: root.colours.text
            hoverColor: root.colours.text
            hoverable: true
            onClicked: root.close()
        }
    }

    Timer {
        id: closeTimer
        interval: Math.max(1, root.time)
        running: root.time !== -1
        onTriggered: root.close()
    }
}
