// One channel: its gauge and its rate history. Channel 0 is the sync input.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../qml/utils"
import "rates.js" as Rates

BaseView {
    id: root

    property int channel: 0
    property var processedHistory: []
    property var inputHistory: []
    property bool showInput: false
    property bool running: true
    property int maxVal: 9
    property bool isLog: true
    readonly property real processedRate: running && processedHistory && processedHistory.length > 0
                                          ? processedHistory[processedHistory.length - 1] : 0
    readonly property real inputRate: running && showInput && inputHistory && inputHistory.length > 0
                                      ? inputHistory[inputHistory.length - 1] : 0

    signal settingsRequested(int channel)

    function fraction(rate) {
        return isLog ? Rates.getLogSpeedFromValue(rate, maxVal) : Rates.getLinearSpeedFromValue(rate, maxVal);
    }

    objectName: "channelCard" + channel
    title: channel === 0 ? "SYNC" : "CH. " + channel
    width: 350
    height: 160
    titleHeight: 24

    CounterGauge {
        id: gauge
        anchors { left: parent.left; verticalCenter: parent.verticalCenter; leftMargin: -4 }
        width: 150
        height: 150
        scale: (parent.height) / 150
        transformOrigin: Item.Left
        ticks: 18
        showInput: root.showInput
        processedRate: root.processedRate
        inputRate: root.inputRate
        processedPosition: root.running ? Math.round(root.fraction(root.processedRate) * 18) : 0
        inputPosition: root.running ? Math.round(root.fraction(root.inputRate) * 18) : 0
        processedText: root.running ? Rates.getFreqFromValue(root.processedRate, 2) : "0 Hz"
        inputText: root.running ? Rates.getFreqFromValue(root.inputRate, 2) : "0 Hz"
        processedTooltip: Rates.getFreqFromValue(root.processedRate, 6)
        inputTooltip: Rates.getFreqFromValue(root.inputRate, 6)
    }

    HistoryChart {
        anchors { right: parent.right; rightMargin: 6; verticalCenter: parent.verticalCenter }
        width: 170
        height: Math.min(120, parent.height - 8)
        processed: root.processedHistory
        input: root.showInput ? root.inputHistory : []
    }

    ColoredIcon {
        anchors { right: parent.right; top: parent.top; margins: 2 }
        width: 16; height: 16
        sourceImage: "settings"
        color: Style.blueGrey
        hoverable: true
        onClicked: root.settingsRequested(root.channel)
    }
}
