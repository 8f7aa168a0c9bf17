// All legacy histograms as a table, one row each; ticked rows form the selection that edits
// apply to.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../../qml/utils"
import "../utils/legacyview.js" as Rules

Flickable {
    id: root

    property var models: []
    property var view: null
    readonly property int spacing: 4
    readonly property bool allSelected: view !== null && models.length > 0 && view.selection.length === models.length

    contentWidth: Math.max(width, Rules.totalWidth(spacing) + 24)
    contentHeight: height
    flickableDirection: Flickable.HorizontalFlick
    boundsBehavior: Flickable.StopAtBounds
    clip: true
    objectName: "legacyTable"
    ScrollBar.horizontal: ScrollBar { policy: ScrollBar.AsNeeded }

    Rectangle {
        id: header
        x: 12
        y: 12
        width: Rules.totalWidth(root.spacing)
        height: 36
        color: Style.tableItem.header.background
        radius: 3
        Row {
            anchors.verticalCenter: parent.verticalCenter
            spacing: root.spacing
            Repeater {
                model: Rules.columns
                delegate: Item {
                    width: modelData.width
                    height: 36
                    CheckBox {
                        visible: modelData.key === "select"
                        objectName: "selectAllBox"
                        anchors.verticalCenter: parent.verticalCenter
                        checked: root.allSelected
                        onToggled: root.view.selectAll(checked)
                    }
                    Label {
                        anchors.verticalCenter: parent.verticalCenter
                        width: parent.width - 2
                        wrapMode: Text.WordWrap
                        maximumLineCount: 2
                        elide: Text.ElideRight
                        lineHeight: 0.9
                        text: modelData.title
                        color: Style.tableItem.header.text
                        font.bold: true
                        font.pixelSize: 11
                    }
                }
            }
        }
    }

    ListView {
        id: rows
        objectName: "legacyRows"
        anchors { top: header.bottom; topMargin: 4; bottom: parent.bottom; bottomMargin: 12 }
        x: 12
        width: header.width
        clip: true
        spacing: 2
        model: root.models
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
        delegate: Rectangle {
            width: rows.width
            height: controls.implicitHeight + 8
            color: index % 2 === 0 ? Style.tableItem.element.background : Style.tableItem.element.alternate
            border.color: root.view && root.view.isSelected(modelData) ? Style.accent : "transparent"
            OldHistogramControls {
                id: controls
                objectName: "legacyRow" + index
                y: 4
                width: parent.width
                hist: modelData
                view: root.view
                inTable: true
            }
        }
    }
}
