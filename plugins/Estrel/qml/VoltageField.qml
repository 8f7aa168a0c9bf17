// The voltage of one channel as text: shows it with three decimals, takes a number with an
// optional unit (V, mV) and flashes whenever the voltage changes, whoever changed it.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../qml/utils"
import "voltage.js" as Voltage

TextField {
    id: root

    property real voltage: 0
    property bool refused: false
    // The first voltage a new field gets is no change worth a flash.
    property bool shown: false

    signal committed(real volts)

    function showVoltage() {
        text = Qt.binding(function() { return Voltage.formatVoltage(root.voltage); });
    }

    function commit() {
        if (text === Voltage.formatVoltage(voltage))
            return;
        var volts = Voltage.parseVoltage(text);
        if (volts === undefined) {
            refused = true;
            refusedTimer.restart();
            showVoltage();
            return;
        }
        refused = false;
        committed(volts);
        showVoltage();
    }

    objectName: "voltageField"
    implicitWidth: 110
    implicitHeight: 34
    topPadding: 4
    bottomPadding: 4
    horizontalAlignment: TextInput.AlignHCenter
    selectByMouse: true
    font.pixelSize: 14
    text: Voltage.formatVoltage(voltage)
    color: Style.textColor
    onEditingFinished: commit()
    onVoltageChanged: if (shown) flash.restart()
    Component.onCompleted: shown = true

    background: Rectangle {
        id: back
        objectName: "voltageFieldBackground"
        radius: 3
        color: Style.card.background
        border.width: root.activeFocus ? 2 : 1
        border.color: root.refused ? Style.errorColor : (root.activeFocus ? Style.accent : Style.lightGrey)
    }

    SequentialAnimation {
        id: flash
        PropertyAction { target: back; property: "color"; value: Style.accent }
        ColorAnimation { target: back; property: "color"; to: Style.card.background; duration: 500 }
    }

    Timer {
        id: refusedTimer
        interval: 3000
        onTriggered: root.refused = false
    }

    ToolTip.visible: refused
    ToolTip.text: "Not a voltage. Enter e.g. 0.25 V or 250 mV"
}
