// All channels as rows under a header with a master checkbox, at most 1000 px wide.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../qml/utils"

Item {
    id: root

    property var channels: []
    property var model: null
    property var histories: []
    readonly property bool allSelected: {
        var list = channels || [];
        for (var i = 0; i < list.length; ++i)
            if (!list[i].selected)
                return false;
        return list.length > 0;
    }

    function selectAll(selected) {
        var list = channels || [];
        for (var i = 0; i < list.length; ++i)
            list[i].selected = selected;
    }

    objectName: "thresholdTable"

    Rectangle {
        id: table
        anchors { top: parent.top; bottom: parent.bottom; horizontalCenter: parent.horizontalCenter; topMargin: 12; bottomMargin: 12 }
        width: Math.min(1000, root.width - 24)
        color: Style.card.background
        border.color: Style.card.border
        radius: 3

        Rectangle {
            id: header
            anchors { left: parent.left; right: parent.right; top: parent.top }
            height: 44
            color: Style.card.title
            radius: 3

            Row {
                anchors { fill: parent; leftMargin: 4 }
                CheckBox {
                    objectName: "masterCheckBox"
                    width: 48
                    anchors.verticalCenter: parent.verticalCenter
                    checked: root.allSelected
                    onToggled: root.selectAll(checked)
                }
                Repeater {
                    model: [{ text: "NAME", width: 110 }, { text: "VOLTAGE", width: 330 },
                            { text: "COUNTS", width: 120 }, { text: "CHART", width: 200 }]
                    delegate: Label {
                        width: modelData.width
                        anchors.verticalCenter: parent.verticalCenter
                        horizontalAlignment: modelData.text === "COUNTS" ? Text.AlignRight : Text.AlignLeft
                        rightPadding: modelData.text === "COUNTS" ? 12 : 0
                        text: modelData.text
                        color: Style.card.titleText
                        font.bold: true
                        font.pixelSize: 13
                    }
                }
            }
        }

        ListView {
            id: rows
            objectName: "thresholdRows"
            anchors { left: parent.left; right: parent.right; top: header.bottom; bottom: parent.bottom; margins: 1 }
            clip: true
            model: root.channels ? root.channels.length : 0
            ScrollBar.vertical: ScrollBar {}
            delegate: ThresholdRow {
                width: rows.width
                channel: root.channels[index]
                model: root.model
                history: root.histories && index < root.histories.length ? root.histories[index] : []
            }
        }
    }
}
