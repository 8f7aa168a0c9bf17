// Stands in for the threshold model: records what the views ask of it.
import QtQuick 2.15

QtObject {
    id: root

    property var channels: []
    property bool autoTuning: false
    property var voltageCalls: []
    property var enableCalls: []
    property int startCalls: 0
    property int abortCalls: 0

    signal cannotAutoTuningCh(int ch)

    function setChVoltage(ch, volts) {
        voltageCalls = voltageCalls.concat([[ch, volts]]);
        channels[ch].voltage = volts;
    }
    function setChEnable(ch, on) { enableCalls = enableCalls.concat([[ch, on]]); }
    function startAutoTuning() { ++startCalls; autoTuning = true; }
    function abortAutoTuning() { ++abortCalls; }
}
