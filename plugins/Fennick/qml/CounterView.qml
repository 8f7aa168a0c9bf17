// The counter plugin's view. The first model counts processed events, the second (when the
// board has one) raw input. Rates flow while the view exists; the integration time is short
// while someone looks: the view is visible or another view takes the counts.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../qml/utils"

PluginView {
    id: root

    readonly property var counterModel: tdcModelData && tdcModelData.length > 0 ? tdcModelData[0] : null
    readonly property var inputModel: tdcModelData && tdcModelData.length > 1 ? tdcModelData[1] : null
    property var processedHistories: []
    property var inputHistories: []
    property bool exchangeActive: false
    readonly property bool running: counterModel !== null && counterModel.autopush
    readonly property real wantedIntegrationTime: (visible || exchangeActive) ? 0.2 : 1

    // Models outlive the board by a moment on disconnection: the board's modules are gone
    // before the views are. Nothing is asked of them then.
    function models() {
        var list = [];
        if (!tdc_backed.isConnected)
            return list;
        if (counterModel)
            list.push(counterModel);
        if (inputModel)
            list.push(inputModel);
        return list;
    }

    function setAutopush(on) {
        var list = models();
        for (var i = 0; i < list.length; ++i)
            list[i].setAutopush(on);
    }

    function applyIntegrationTime() {
        var list = models();
        for (var i = 0; i < list.length; ++i)
            list[i].setIntegrationTime(wantedIntegrationTime);
    }

    function readCounters() {
        if (counterModel)
            processedHistories = counterModel.counters;
        if (inputModel)
            inputHistories = inputModel.counters;
    }

    function publish() {
        if (!dataExchanger)
            return;
        dataExchanger.exchangeData({ "Counter": { "Counts": inputModel ? inputHistories : processedHistories } });
    }

    function start() {
        if (!counterModel)
            return;
        setAutopush(true);
        applyIntegrationTime();
        readCounters();
    }

    subViewCount: 1

    function saveSettings() { grid.saveSettings(); }
    function loadSettings() { grid.loadSettings(); }

    objectName: "counterView"
    onCounterModelChanged: start()
    onWantedIntegrationTimeChanged: applyIntegrationTime()

    Connections {
        target: root.counterModel
        ignoreUnknownSignals: true
        function onCountersChanged() {
            root.readCounters();
            root.publish();
        }
    }

    Connections {
        target: root.dataExchanger
        ignoreUnknownSignals: true
        function onExchangeDataReq(request) {
            var counter = request ? request["Counter"] : undefined;
            if (!counter || counter["data_id"] !== "Counts")
                return;
            if (counter["type"] === "start")
                root.exchangeActive = true;
            else if (counter["type"] === "stop")
                root.exchangeActive = false;
        }
    }

    Connections {
        target: root.mainWindow
        ignoreUnknownSignals: true
        function onTurnOffTDCTasks() { root.setAutopush(false); }
    }

    ChannelGrid {
        id: grid
        anchors.fill: parent
        processedHistories: root.processedHistories
        inputHistories: root.inputHistories
        showInput: root.inputModel !== null
        running: root.running
    }
}
