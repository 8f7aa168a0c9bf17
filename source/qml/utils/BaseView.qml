// A card with a title bar, the frame of most plugin panels.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "."

Pane {
    id: root

    property string title: ""
    property alias titleRef: titleBar
    property int borderWidth: 3
    property bool borderActive: false
    property bool borderAnimation: true
    property real radius: 3
    property real titleRadius: 3
    property bool flatTitle: false
    property color borderColor: borderActive ? Style.accent : Style.card.border
    property int titleHeight: title === "" ? 0 : 30

    padding: 0
    topPadding: titleHeight + borderWidth
    leftPadding: borderWidth
    rightPadding: borderWidth
    bottomPadding: borderWidth

    background: Rectangle {
        color: Style.card.background
        radius: root.radius
        border.width: root.borderWidth
        border.color: root.borderColor
        Behavior on border.color {
            enabled: root.borderAnimation
            ColorAnimation { duration: 200 }
        }

        Rectangle {
            id: titleBar
            visible: root.title !== ""
            anchors { left: parent.left; right: parent.right; top: parent.top }
            height: root.titleHeight
            radius: root.flatTitle ? 0 : root.titleRadius
            color: root.borderActive ? Style.accent : Style.card.title

            Label {
                anchors.centerIn: parent
                text: root.title
                color: Style.card.titleText
                font.bold: true
                font.pixelSize: 14
            }
        }
    }
}
