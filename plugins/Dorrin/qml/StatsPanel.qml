// The recording's statistics: rate, elapsed time, events and file size, in tiles that
// shorten their texts when narrow.
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "./../../../qml/utils"
import "./../../../qml/utils/functions.js" as Functions

BaseView {
    id: root

    property var model: null
    readonly property bool recording: model !== null && model.enableSaveRAW

    signal previewRequested()

    title: "TTM STATS"

    component Tile: Rectangle {
        id: tile
        property string caption: ""
        property string value: ""
        property string shortValue: value
        color: Style.subView.background
        border.color: Style.subView.border
        radius: 4
        Layout.fillWidth: true
        Layout.fillHeight: true
        Column {
            anchors.centerIn: parent
            spacing: 6
            Label {
                anchors.horizontalCenter: parent.horizontalCenter
                text: tile.caption
                font.bold: true
                color: Style.textDim
            }
            Label {
                objectName: "value"
                anchors.horizontalCenter: parent.horizontalCenter
                // Narrow tiles take the short form; too narrow for any, none.
                text: tile.width < 50 ? "" : (tile.width < 150 ? tile.shortValue : tile.value)
                font.pixelSize: 22
                font.bold: true
                color: Style.textColor
            }
        }
    }

    GridLayout {
        anchors.fill: parent
        anchors.margins: 10
        columns: 2
        rowSpacing: 10
        columnSpacing: 10

        Tile {
            objectName: "ttmStatRate"
            caption: "RATE"
            value: Functions.format_to_samplerate(root.model ? root.model.integrationRate : 0, false)
            shortValue: Functions.format_to_samplerate(root.model ? root.model.integrationRate : 0, true)
        }
        Tile {
            objectName: "ttmStatTime"
            caption: "TIME"
            value: Functions.seconds_to_date(root.model ? root.model.integrationTime / 1000 : 0)
        }
        Tile {
            objectName: "ttmStatEvents"
            caption: "EVENTS"
            value: Functions.format_to_samples(root.model ? root.model.integrationSample : 0, false)
            shortValue: Functions.format_to_samples(root.model ? root.model.integrationSample : 0, true)
        }
        Tile {
            objectName: "ttmStatSize"
            caption: "FILE SIZE"
            value: Functions.format_to_bytes(root.model ? root.model.integrationSize : 0)
        }
    }

    // Turns the panel to the preview; a recording keeps the capture to itself.
    ColoredIcon {
        objectName: "ttmBackToPreview"
        anchors { right: parent.right; top: parent.top; topMargin: -root.titleHeight + 3; rightMargin: 6 }
        width: 24; height: 24
        z: 2
        sourceImage: "west"
        hoverable: !root.recording
        color: root.recording ? Style.lightGrey : "white"
        opacity: root.recording ? 0.5 : 1
        ToolTip.visible: hovered
        ToolTip.text: "Back to preview"
        onClicked: if (!root.recording) root.previewRequested()
    }
}
