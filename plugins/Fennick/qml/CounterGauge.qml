// The tick gauge of one channel: processed events in the accent colour, the raw input beyond
// them in blue-grey.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../qml/utils"

Item {
    id: root

    property int ticks: 18
    property real processedPosition: 0
    property real inputPosition: 0
    property real processedRate: 0
    property real inputRate: 0
    property string processedText: "0 Hz"
    property string inputText: "0 Hz"
    property string processedTooltip: ""
    property string inputTooltip: ""
    property bool showInput: false
    readonly property bool inputExceeds: showInput && (inputRate - processedRate > 600
                                                       || inputRate > processedRate * 1.01)
    property real shownProcessed: processedPosition
    property real shownInput: inputPosition

    implicitWidth: 150
    implicitHeight: 150

    Behavior on shownProcessed { NumberAnimation { duration: 200 } }
    Behavior on shownInput { NumberAnimation { duration: 200 } }

    Repeater {
        model: root.ticks
        delegate: Item {
            readonly property int processedAt: Math.round(root.shownProcessed)
            readonly property int inputAt: Math.round(root.shownInput)
            width: root.width
            height: root.height
            rotation: 55 + 270 / root.ticks * index
            Rectangle {
                x: parent.width / 2 - width / 2
                y: parent.height - height
                width: 5
                radius: 2
                height: index === processedAt ? 22 : (index === processedAt - 1 ? 19 : 16)
                color: {
                    if (index === processedAt && root.inputExceeds)
                        return Style.blueGrey;
                    if (index <= processedAt && processedAt > 0)
                        return Style.accent;
                    if (root.showInput && index <= inputAt && inputAt > 0)
                        return Style.blueGrey;
                    return Style.lightGrey;
                }
                Behavior on color { ColorAnimation { duration: 200 } }
            }
        }
    }

    Column {
        anchors.centerIn: parent
        spacing: 2

        Label {
            id: processedLabel
            objectName: "processedRate"
            anchors.horizontalCenter: parent.horizontalCenter
            text: root.processedText
            font.pixelSize: 18
            font.bold: true
            color: Style.textColor
            MouseArea { id: processedHover; anchors.fill: parent; hoverEnabled: true }
            ToolTip.visible: processedHover.containsMouse
            ToolTip.text: "Processed event rate\n" + root.processedTooltip
        }

        Label {
            objectName: "inputRate"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: root.showInput
            text: root.inputText
            font.pixelSize: 12
            color: root.inputExceeds ? Style.blueGrey : Style.textDim
            MouseArea { id: inputHover; anchors.fill: parent; hoverEnabled: true }
            ToolTip.visible: inputHover.containsMouse
            ToolTip.text: "Input rate\n" + root.inputTooltip
        }
    }
}
