// One row per shown legacy histogram: its card (colour, name, enable, offset, remove) and the
// statistics columns the user chose.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../../qml/utils"
import "../utils/legacyfiles.js" as Files
import "legacystats.js" as Stats

Flickable {
    id: root

    property var view: null
    property var models: []
    property var columns: []
    readonly property int cardWidth: 410
    readonly property int columnWidth: 94
    readonly property int rowHeight: 44

    contentWidth: Math.max(width, cardWidth + columns.length * columnWidth + 30)
    contentHeight: header.height + models.length * (rowHeight + 2) + 8
    boundsBehavior: Flickable.StopAtBounds
    clip: true
    objectName: "parameterTable"
    ScrollBar.horizontal: ScrollBar { policy: ScrollBar.AsNeeded }
    ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

    Rectangle {
        id: header
        width: root.contentWidth
        height: 32
        color: Style.tableItem.header.background
        Row {
            anchors.verticalCenter: parent.verticalCenter
            Label {
                width: root.cardWidth
                height: 32
                verticalAlignment: Text.AlignVCenter
                leftPadding: 12
                text: "NAME"
                color: Style.tableItem.header.text
                font.bold: true
            }
            Repeater {
                model: root.columns
                delegate: Item {
                    width: root.columnWidth
                    height: 32
                    Label {
                        id: columnTitle
                        anchors.verticalCenter: parent.verticalCenter
                        width: Math.min(implicitWidth, parent.width - 22)
                        text: modelData
                        elide: Text.ElideRight
                        color: Style.tableItem.header.text
                        font.bold: true
                        font.pixelSize: 12
                    }
                    ColoredIcon {
                        objectName: "removeColumn_" + modelData
                        anchors { left: columnTitle.right; leftMargin: 4; verticalCenter: parent.verticalCenter }
                        width: 16; height: 16
                        sourceImage: "close"
                        color: Style.tableItem.header.text
                        hoverable: true
                        onClicked: root.view.removeColumn(modelData)
                    }
                }
            }
            ColoredIcon {
                objectName: "addColumnButton"
                anchors.verticalCenter: parent.verticalCenter
                width: 22; height: 22
                visible: Files.addableColumns(root.columns).length > 0
                sourceImage: "add"
                color: Style.tableItem.header.text
                hoverable: true
                onClicked: columnMenu.popup()
                Menu {
                    id: columnMenu
                    objectName: "columnMenu"
                    Instantiator {
                        model: Files.addableColumns(root.columns)
                        delegate: MenuItem {
                            text: modelData
                            onTriggered: root.view.addColumn(modelData)
                        }
                        onObjectAdded: columnMenu.insertItem(index, object)
                        onObjectRemoved: columnMenu.removeItem(object)
                    }
                }
            }
        }
    }

    Column {
        anchors.top: header.bottom
        anchors.topMargin: 4
        spacing: 2
        Repeater {
            model: root.models
            delegate: Rectangle {
                id: row
                readonly property var hist: modelData
                readonly property bool locked: hist.isTimeTrigActive
                objectName: "histogramCard" + index
                width: root.contentWidth
                height: root.rowHeight
                color: index % 2 === 0 ? Style.tableItem.element.background : Style.tableItem.element.alternate
                Row {
                    anchors.verticalCenter: parent.verticalCenter
                    Row {
                        width: root.cardWidth
                        spacing: 4
                        leftPadding: 8
                        Rectangle {
                            objectName: "colorDot"
                            anchors.verticalCenter: parent.verticalCenter
                            width: 16; height: 16; radius: 8
                            color: root.view.colorOf(row.hist)
                            MouseArea {
                                anchors.fill: parent
                                cursorShape: Qt.PointingHandCursor
                                onClicked: colorMenu.popup()
                            }
                            Menu {
                                id: colorMenu
                                Instantiator {
                                    model: Files.palette
                                    delegate: MenuItem {
                                        text: modelData
                                        contentItem: Row {
                                            spacing: 8
                                            Rectangle { width: 16; height: 16; radius: 8; color: modelData; anchors.verticalCenter: parent.verticalCenter }
                                            Label { text: modelData; anchors.verticalCenter: parent.verticalCenter }
                                        }
                                        onTriggered: root.view.setColor(row.hist, modelData)
                                    }
                                    onObjectAdded: colorMenu.insertItem(index, object)
                                    onObjectRemoved: colorMenu.removeItem(object)
                                }
                            }
                        }
                        Label {
                            width: 106
                            anchors.verticalCenter: parent.verticalCenter
                            text: row.hist.name
                            elide: Text.ElideRight
                            font.bold: true
                        }
                        Switch {
                            objectName: "enableSwitch"
                            anchors.verticalCenter: parent.verticalCenter
                            text: "ENABLE"
                            font.pixelSize: 11
                            enabled: !row.locked
                            checked: row.hist.isActive
                            onToggled: {
                                var on = checked;
                                checked = Qt.binding(function() { return row.hist.isActive; });
                                row.hist.isActive = on;
                            }
                        }
                        Label {
                            anchors.verticalCenter: parent.verticalCenter
                            text: "OFFSET"
                            font.pixelSize: 11
                            color: Style.textDim
                        }
                        Slider {
                            objectName: "offsetSlider"
                            anchors.verticalCenter: parent.verticalCenter
                            width: 76
                            from: 0
                            to: 3e-9
                            enabled: !row.locked
                            value: root.view.offsetOf(row.hist)
                            onMoved: root.view.setOffset(row.hist, value)
                            ToolTip.visible: pressed || hovered
                            ToolTip.text: root.view.axisText(value)
                        }
                        ColoredIcon {
                            objectName: "removeHistogram"
                            anchors.verticalCenter: parent.verticalCenter
                            width: 22; height: 22
                            sourceImage: "trash"
                            color: Style.blueGrey
                            hoverable: true
                            onClicked: root.view.removeHistogramModel(row.hist)
                        }
                    }
                    Repeater {
                        model: root.columns
                        delegate: Label {
                            objectName: "cell_" + modelData
                            width: root.columnWidth
                            anchors.verticalCenter: parent.verticalCenter
                            text: Stats.cellText(modelData, row.hist, root.view.axisText)
                            elide: Text.ElideRight
                            font.family: "monospace"
                        }
                    }
                }
            }
        }
    }
}
