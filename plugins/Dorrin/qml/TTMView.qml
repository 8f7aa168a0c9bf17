// The time-tagging plugin's view: the event rate on top, the recording's settings on the
// left, and on the right a panel that turns between the recording's statistics and the
// live preview histogram.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../qml/utils"
import "./../../../qml/utils/functions.js" as Functions

PluginView {
    id: root

    readonly property var model: tdcModelData && tdcModelData.length > 0 ? tdcModelData[0] : null
    readonly property bool recording: model !== null && model.enableSaveRAW

    objectName: "ttmView"

    Connections {
        target: root.mainWindow
        ignoreUnknownSignals: true
        function onTurnOffTDCTasks() {
            if (!root.model)
                return;
            root.model.enableSaveRAW = false;
            root.model.chart.enabled = false;
        }
    }

    Connections {
        target: root.model
        ignoreUnknownSignals: true
        function onLostSamplesChanged() {
            if (root.model.lostSamples > 0 && root.mainWindow)
                root.mainWindow.spawnMessage("warning", "TTM LOST EVENTS",
                                             "Lost " + Functions.format_to_samples(root.model.lostSamples, false),
                                             "Auto", -1);
        }
        function onEnableSaveRAWChanged() {
            if (root.model.enableSaveRAW)
                flippable.flipped = true;
        }
    }

    RatePanel {
        id: ratePanel
        objectName: "ttmRatePanel"
        anchors { left: parent.left; right: parent.right; top: parent.top; margins: 8 }
        height: 190
        model: root.model
    }

    ConfigurationPanel {
        id: configuration
        objectName: "ttmConfiguration"
        anchors { left: parent.left; top: ratePanel.bottom; bottom: parent.bottom; margins: 8 }
        width: 450
        model: root.model
        mainWindow: root.mainWindow
    }

    // Turned to the back ("TTM STATS") at start and whenever a recording starts; the front is
    // the preview.
    StandardFlippableView {
        id: flippable
        objectName: "ttmFlippable"
        anchors { left: configuration.right; right: parent.right; top: ratePanel.bottom; bottom: parent.bottom; margins: 8 }
        flipped: true

        front: PreviewPanel {
            objectName: "ttmPreview"
            anchors.fill: parent
            enabled: !flippable.flipped
            model: root.model
            numCh: typeof tdc_backed !== "undefined" && tdc_backed ? tdc_backed.numCh : 0
        }
        back: StatsPanel {
            objectName: "ttmStats"
            anchors.fill: parent
            enabled: flippable.flipped
            model: root.model
            onPreviewRequested: flippable.flipped = false
        }
    }
}
