// One titled list of the left bar. Its entries carry viewIcon, viewTitle, viewUUID and, for
// sub views, viewType. An editable list offers add, rename (12 characters at most), reorder
// by dragging and close.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "../utils"

Column {
    id: root

    property string title: ""
    property ListModel model
    property string currentUUID: ""
    property bool editable: false
    readonly property int rowHeight: 40

    signal selected(string uuid)
    signal addRequested()
    signal closeRequested(string uuid)
    signal ejectRequested(string uuid)
    signal renameRequested(string uuid, string title)

    width: parent ? parent.width : 200
    spacing: 0

    Item {
        width: root.width
        height: 32
        Label {
            anchors { left: parent.left; leftMargin: 16; verticalCenter: parent.verticalCenter }
            text: root.title
            color: Style.leftMenu.section
            font.bold: true
            font.pixelSize: 12
        }
        ColoredIcon {
            objectName: "addViewButton"
            visible: root.editable
            anchors { right: parent.right; rightMargin: 12; verticalCenter: parent.verticalCenter }
            width: 20; height: 20
            sourceImage: "add"
            color: Style.leftMenu.section
            hoverable: true
            onClicked: root.addRequested()
        }
    }

    Repeater {
        id: rows
        model: root.model
        delegate: Item {
            id: row
            objectName: "leftBarEntry_" + viewUUID
            width: root.width
            height: root.rowHeight
            readonly property bool current: viewUUID === root.currentUUID

            Rectangle {
                id: rowBackground
                width: parent.width
                height: parent.height
                color: row.current ? Style.leftMenu.selected
                                   : (rowMouse.containsMouse ? Style.leftMenu.hovered : "transparent")
                Drag.active: rowMouse.drag.active
                Drag.hotSpot.y: height / 2

                Rectangle {
                    visible: row.current
                    width: 4; height: parent.height
                    color: Style.accent
                }

                ColoredIcon {
                    id: rowIcon
                    anchors { left: parent.left; leftMargin: 16; verticalCenter: parent.verticalCenter }
                    width: 22; height: 22
                    sourceImage: viewIcon
                    color: row.current ? Style.accent : Style.leftMenu.icon
                }

                Label {
                    id: rowTitle
                    visible: !renameField.visible
                    anchors { left: rowIcon.right; leftMargin: 12; right: closeIcon.left
                              verticalCenter: parent.verticalCenter }
                    text: viewTitle
                    color: Style.leftMenu.text
                    elide: Text.ElideRight
                }

                TextField {
                    id: renameField
                    visible: false
                    anchors { left: rowIcon.right; leftMargin: 8; right: closeIcon.left
                              verticalCenter: parent.verticalCenter }
                    maximumLength: 12
                    color: Style.leftMenu.text
                    onAccepted: {
                        if (text.trim() !== "")
                            root.renameRequested(viewUUID, text.trim());
                        visible = false;
                    }
                    onActiveFocusChanged: if (!activeFocus) visible = false
                    Keys.onEscapePressed: visible = false
                }

                ColoredIcon {
                    id: closeIcon
                    visible: root.editable && rowMouse.containsMouse
                    anchors { right: parent.right; rightMargin: 10; verticalCenter: parent.verticalCenter }
                    width: root.editable ? 18 : 0; height: 18
                    sourceImage: "close"
                    color: Style.leftMenu.section
                    hoverable: true
                    onClicked: root.closeRequested(viewUUID)
                }
            }

            MouseArea {
                id: rowMouse
                anchors { fill: parent; rightMargin: root.editable ? 34 : 0 }
                hoverEnabled: true
                acceptedButtons: Qt.LeftButton | Qt.RightButton
                drag.target: root.editable ? rowBackground : null
                drag.axis: Drag.YAxis
                // The left bar scrolls; a row being dragged must not start a flick.
                preventStealing: root.editable
                onClicked: {
                    if (mouse.button === Qt.RightButton && root.editable)
                        contextMenu.popup();
                    else
                        root.selected(viewUUID);
                }
                onDoubleClicked: {
                    if (!root.editable)
                        return;
                    renameField.text = viewTitle;
                    renameField.visible = true;
                    renameField.forceActiveFocus();
                }
                onReleased: {
                    if (!root.editable)
                        return;
                    // The row was dragged: it lands at the slot under its centre.
                    var target = index + Math.round(rowBackground.y / root.rowHeight);
                    target = Math.max(0, Math.min(root.model.count - 1, target));
                    rowBackground.y = 0;
                    if (target !== index)
                        root.model.move(index, target, 1);
                }
            }

            Menu {
                id: contextMenu
                MenuItem { text: "Rename"; onTriggered: rowMouse.doubleClicked(null) }
                MenuItem { text: "Open in new window"; onTriggered: root.ejectRequested(viewUUID) }
                MenuItem { text: "Close"; onTriggered: root.closeRequested(viewUUID) }
            }
        }
    }
}
