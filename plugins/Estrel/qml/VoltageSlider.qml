// The voltage of one channel on a slider over its range. A fixed channel's range is its one
// voltage, so its slider spans a volt more each side to show where it sits.
import QtQuick 2.15
import QtQuick.Controls 2.15

Slider {
    id: root

    property var channel: null

    signal voltageMoved(real volts)

    objectName: "voltageSlider"
    from: channel ? (channel.fixed ? channel.minVoltage - 1 : channel.minVoltage) : 0
    to: channel ? (channel.fixed ? channel.maxVoltage + 1 : channel.maxVoltage) : 1
    stepSize: 0.01
    value: channel ? channel.voltage : 0
    enabled: channel !== null && !channel.fixed && channel.enabled
    implicitHeight: 32
    onMoved: voltageMoved(value)
}
