// One channel on the grid: selection, threshold by slider and by text, the counted rate.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../qml/utils"
import "rates.js" as Rates

BaseView {
    id: root

    property var channel: null
    property var model: null
    property real rate: 0
    readonly property int channelId: channel ? channel.id : 0

    objectName: "thresholdCard" + channelId
    title: channelId === 0 ? "SYNC" : "CH. " + channelId
    width: 300
    height: 150

    Item {
        anchors.fill: parent
        anchors.margins: 4

        CheckBox {
            id: selectedBox
            objectName: "selectedBox"
            anchors { left: parent.left; top: parent.top; topMargin: -8 }
            text: "Selected"
            enabled: root.channel !== null && !root.channel.fixed
            checked: root.channel !== null && root.channel.selected
            onToggled: root.channel.selected = checked
        }

        Switch {
            objectName: "enableSwitch"
            visible: false
            text: "Enable"
            checked: root.channel !== null && root.channel.enabled
            onToggled: root.model.setChEnable(root.channelId, checked)
        }

        Label {
            objectName: "rateLabel"
            anchors { right: parent.right; rightMargin: 6; verticalCenter: selectedBox.verticalCenter }
            text: Rates.getFreqFromValue(root.rate, 2)
            color: Style.textColor
            font.pixelSize: 16
            font.bold: true
        }

        VoltageSlider {
            id: slider
            anchors { left: parent.left; right: parent.right; top: selectedBox.bottom; topMargin: -6 }
            channel: root.channel
            onVoltageMoved: root.model.setChVoltage(root.channelId, volts)
        }

        VoltageField {
            anchors { horizontalCenter: parent.horizontalCenter; top: slider.bottom; topMargin: 2 }
            voltage: root.channel ? root.channel.voltage : 0
            onCommitted: root.model.setChVoltage(root.channelId, volts)
        }
    }
}
