// A titled list of selectable entries; one or several can be chosen.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "."

Item {
    id: root

    property var model: []
    property string title: ""
    property bool selectMultiple: false
    property var selectedItem: selectMultiple ? [] : -1
    property real radius: 8

    signal itemSelected(var selection)

    implicitWidth: 200
    implicitHeight: titleLabel.height + flow.implicitHeight + 12

    function isSelected(index) {
        return selectMultiple ? selectedItem.indexOf(index) >= 0 : selectedItem === index;
    }

    function toggle(index) {
        if (selectMultiple) {
            var list = selectedItem.slice();
            var at = list.indexOf(index);
            if (at >= 0)
                list.splice(at, 1);
            else
                list.push(index);
            selectedItem = list;
        } else {
            selectedItem = index;
        }
        itemSelected(selectedItem);
    }

    Label {
        id: titleLabel
        text: root.title
        visible: root.title !== ""
        font.bold: true
        color: Style.textDim
    }

    Flow {
        id: flow
        anchors { top: titleLabel.bottom; topMargin: 6; left: parent.left; right: parent.right }
        spacing: 6
        Repeater {
            model: root.model
            delegate: Rectangle {
                width: entryText.implicitWidth + 24
                height: 30
                radius: root.radius
                color: root.isSelected(index) ? Style.accent : Style.subView.background
                border.color: Style.subView.border
                Label {
                    id: entryText
                    anchors.centerIn: parent
                    text: typeof modelData === "object" && modelData !== null && modelData.name !== undefined
                          ? modelData.name : String(modelData)
                    color: root.isSelected(index) ? "white" : Style.textColor
                }
                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: root.toggle(index)
                }
            }
        }
    }
}
