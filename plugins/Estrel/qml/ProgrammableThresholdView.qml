// The threshold plugin's view: the channels as a grid of cards or as a table, the counted
// rates from the counter view beside them, and the automatic tuning behind a top-bar button.
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "./../../qml/utils"

PluginView {
    id: root

    readonly property var thresholdModel: tdcModelData && tdcModelData.length > 0 ? tdcModelData[0] : null
    readonly property var channels: thresholdModel ? thresholdModel.channels : []
    // Rate histories per channel, as the counter view publishes them.
    property var histories: []
    property bool exchanging: false
    property int page: 0

    function updateExchange() {
        var wanted = visible && dataExchanger !== null && thresholdModel !== null;
        if (wanted === exchanging)
            return;
        exchanging = wanted;
        if (wanted)
            dataExchanger.startExchangeData("Counter", "Counts");
        else
            dataExchanger.stopExchangeData("Counter", "Counts");
    }

    function openAutoTuning() {
        if (thresholdModel)
            autoTuningDialog.open();
    }

    objectName: "thresholdView"
    subViewCount: 1
    modelIcon: [
        page === 0 ? { icon: "list", tooltip: "List View" } : { icon: "grid", tooltip: "Grid View" },
        { icon: "auto-tuning", tooltip: "Auto-tune" }
    ]

    onVisibleChanged: updateExchange()
    onDataExchangerChanged: updateExchange()
    onThresholdModelChanged: updateExchange()
    Component.onCompleted: updateExchange()
    Component.onDestruction: {
        if (exchanging && dataExchanger)
            dataExchanger.stopExchangeData("Counter", "Counts");
    }

    Connections {
        target: root.topWindowBar
        ignoreUnknownSignals: true
        function onBtn0Fired() { root.page = root.page === 0 ? 1 : 0; }
        function onBtn1Fired() { root.openAutoTuning(); }
    }

    Connections {
        target: root.dataExchanger
        ignoreUnknownSignals: true
        function onExchangeData(data) {
            var counter = data ? data["Counter"] : undefined;
            if (counter && counter["Counts"] !== undefined)
                root.histories = counter["Counts"];
        }
    }

    Connections {
        target: root.thresholdModel
        ignoreUnknownSignals: true
        function onCannotAutoTuningCh(ch) {
            if (root.mainWindow)
                root.mainWindow.spawnMessage("warning", "Threshold AutoTuning",
                                             "For some reasons, it was not possible to AutoTune the channel " + ch,
                                             "Auto", 20000);
        }
    }

    StackLayout {
        anchors.fill: parent
        currentIndex: root.page

        ThresholdGrid {
            channels: root.channels
            model: root.thresholdModel
            histories: root.histories
        }

        ThresholdTable {
            channels: root.channels
            model: root.thresholdModel
            histories: root.histories
        }
    }

    AutoTuningDialog {
        id: autoTuningDialog
        model: root.thresholdModel
        channels: root.channels
    }
}
