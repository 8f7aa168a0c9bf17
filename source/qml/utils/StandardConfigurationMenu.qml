// A titled panel holding configuration rows.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "."

Item {
    id: root

    property string title: ""
    property int titleHeight: 35
    default property alias settingsItems: column.data

    implicitWidth: Math.max(column.implicitWidth, 200)
    implicitHeight: titleHeight + column.implicitHeight + 12

    Rectangle {
        id: titleStrip
        width: parent.width
        height: root.titleHeight
        color: Style.settings.title
        radius: 3
        Label {
            anchors.centerIn: parent
            text: root.title
            color: "white"
            font.bold: true
        }
    }

    Rectangle {
        anchors { top: titleStrip.bottom; left: parent.left; right: parent.right; bottom: parent.bottom }
        color: Style.settings.background
    }

    Column {
        id: column
        anchors { top: titleStrip.bottom; topMargin: 6; left: parent.left; right: parent.right; margins: 6 }
        spacing: 6
    }
}
