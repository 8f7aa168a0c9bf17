// A modal dialog with a coloured title strip above its settings items.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "."

Dialog {
    id: root

    property string dialogTitle: ""
    property int titleHeight: 35
    default property alias settingsItems: content.data

    modal: true
    padding: 0
    topPadding: titleHeight
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside
    anchors.centerIn: Overlay.overlay

    background: Rectangle {
        color: Style.dialog.background
        radius: 3
        Rectangle {
            width: parent.width
            height: root.titleHeight
            color: Style.dialog.title
            radius: 3
            Label {
                anchors.centerIn: parent
                text: root.dialogTitle
                color: Style.dialog.titleText
                font.bold: true
            }
        }
    }

    contentItem: Item {
        id: content
        implicitWidth: childrenRect.width
        implicitHeight: childrenRect.height
    }
}
