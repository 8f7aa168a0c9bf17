// The legacy histogram plugin's main view: the settings of every legacy histogram, and the
// top-bar button that opens a chart view of them.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../../qml/utils"

PluginView {
    id: root

    readonly property int numCh: typeof tdc_backed !== "undefined" && tdc_backed.numCh ? tdc_backed.numCh : 9

    // A chart view of every legacy histogram; its identifier.
    function spawnChartView() {
        if (!mainWindow)
            return "";
        var socket = mainWindow.registerNewView("MainWindow", "", tdcModelData,
                                                "qrc:/plugin/oldhistogrammermodule/qml/chart/OldHistogrammerView.qml",
                                                "LegacyChart", "qrc:/resources/img/grid_icon.svg", "ViewSocket", "ChartView");
        if (!socket)
            return "";
        mainWindow.setViewByUUID(socket.uuid);
        return socket.uuid;
    }

    objectName: "legacySettingsView"
    modelIcon: [{ icon: "bar-chart", tooltip: "Open Chart View" }]

    Connections {
        target: root.topWindowBar
        ignoreUnknownSignals: true
        function onBtn0Fired() { root.spawnChartView(); }
    }

    Connections {
        target: root.mainWindow
        ignoreUnknownSignals: true
        function onTurnOffTDCTasks() {
            for (var i = 0; i < root.tdcModelData.length; ++i)
                root.tdcModelData[i].isActive = false;
        }
    }

    Flickable {
        anchors.fill: parent
        contentHeight: column.height + 48
        clip: true
        Column {
            id: column
            y: 24
            x: Math.max(0, (parent.width - width) / 2)
            spacing: 24
            Repeater {
                model: root.tdcModelData ? root.tdcModelData.length : 0
                delegate: OldHistogramSettingsCard {
                    width: 620
                    hist: root.tdcModelData[index]
                    numCh: root.numCh
                }
            }
        }
    }
}
