// One channel in the table: selection, name, threshold by slider and by text, rate and its
// recent history.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../qml/utils"
import "rates.js" as Rates

Rectangle {
    id: root

    property var channel: null
    property var model: null
    property var history: []
    property real nameWidth: 110
    property real voltageWidth: 330
    property real countsWidth: 120
    readonly property int channelId: channel ? channel.id : 0
    readonly property real rate: history && history.length > 0 ? history[history.length - 1] : 0

    objectName: "thresholdRow" + channelId
    height: 56
    color: channelId % 2 === 0 ? Style.card.background : Style.subView.background

    Row {
        anchors { fill: parent; leftMargin: 4 }
        spacing: 0

        CheckBox {
            objectName: "selectedBox"
            width: 48
            anchors.verticalCenter: parent.verticalCenter
            enabled: root.channel !== null && !root.channel.fixed
            checked: root.channel !== null && root.channel.selected
            onToggled: root.channel.selected = checked
        }

        Label {
            width: root.nameWidth
            anchors.verticalCenter: parent.verticalCenter
            text: root.channelId === 0 ? "Sync" : "Channel " + root.channelId
            color: Style.textColor
            font.pixelSize: 14
        }

        Item {
            width: root.voltageWidth
            height: parent.height
            VoltageSlider {
                anchors { left: parent.left; right: field.left; rightMargin: 6; verticalCenter: parent.verticalCenter }
                channel: root.channel
                onVoltageMoved: root.model.setChVoltage(root.channelId, volts)
            }
            VoltageField {
                id: field
                anchors { right: parent.right; rightMargin: 8; verticalCenter: parent.verticalCenter }
                voltage: root.channel ? root.channel.voltage : 0
                onCommitted: root.model.setChVoltage(root.channelId, volts)
            }
        }

        Label {
            objectName: "rateLabel"
            width: root.countsWidth
            anchors.verticalCenter: parent.verticalCenter
            horizontalAlignment: Text.AlignRight
            rightPadding: 12
            text: Rates.getFreqFromValue(root.rate, 2)
            color: Style.textColor
            font.pixelSize: 14
            font.bold: true
        }

        HistoryChart {
            objectName: "historyChart"
            width: root.width - x - 8
            height: parent.height - 8
            anchors.verticalCenter: parent.verticalCenter
            processed: root.history || []
        }
    }
}
