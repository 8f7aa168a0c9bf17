// A chart view of legacy histograms: their bars, their statistics, and the time-trigger panel
// that records series of windows into files.
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Chartelle 1.0
import "./../../../../qml/utils"
import "../utils/legacyformat.js" as Format

PluginView {
    id: root

    readonly property var palette: ['#2f7ed8', '#0d233a', '#8bbc21', '#910000', '#1aadce', '#492970',
                                    '#f28f43', '#77a1e5', '#c42525', '#a6c96a']
    property int page: 0
    readonly property bool running: ttPanel.running

    objectName: "legacyChartView"
    modelIcon: page === 0 ? [{ icon: "wiper", tooltip: "Clean" }, { icon: "schedule", tooltip: "Time Trigger" }]
                          : [{ icon: "arrow-left", tooltip: "Chart View" }]

    Connections {
        target: root.topWindowBar
        ignoreUnknownSignals: true
        function onBtn0Fired() {
            if (root.page === 1) {
                root.page = 0;
                return;
            }
            if (root.running) {
                root.mainWindow.spawnMessage("warning", "TIME TRIGGER RUNNNING", "Stop the Time Trigger to clean the chart");
                return;
            }
            for (var i = 0; i < root.tdcModelData.length; ++i)
                root.tdcModelData[i].resetBtnFired();
        }
        function onBtn1Fired() { if (root.page === 0) root.page = 1; }
    }

    StackLayout {
        anchors.fill: parent
        currentIndex: root.page

        ColumnLayout {
            spacing: 8
            SPlotQML {
                id: plot
                objectName: "legacyPlot"
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.margins: 12
                enableNavigatorBar: false
            }
            Rectangle {
                Layout.fillWidth: true
                Layout.leftMargin: 12
                Layout.rightMargin: 12
                Layout.bottomMargin: 12
                implicitHeight: stats.implicitHeight + 16
                color: Style.card.background
                border.color: Style.card.border
                radius: 3
                GridLayout {
                    id: stats
                    anchors { fill: parent; margins: 8 }
                    columns: 6
                    Repeater {
                        model: ["NAME", "MEAN", "STD", "RATE", "EVENTS", "TIME"]
                        delegate: Label { text: modelData; font.bold: true; Layout.fillWidth: true }
                    }
                    Repeater {
                        model: root.tdcModelData ? root.tdcModelData.length : 0
                        delegate: Label {
                            readonly property var hist: root.tdcModelData[Math.floor(index)]
                            Layout.row: 1 + index
                            Layout.column: 0
                            text: hist.name
                            color: root.palette[index % root.palette.length]
                            font.bold: true
                        }
                    }
                    Repeater {
                        model: root.tdcModelData ? root.tdcModelData.length * 5 : 0
                        delegate: Label {
                            readonly property int row: Math.floor(index / 5)
                            readonly property int column: index % 5
                            readonly property var hist: root.tdcModelData[row]
                            objectName: "stat_" + row + "_" + column
                            Layout.row: 1 + row
                            Layout.column: 1 + column
                            text: {
                                switch (column) {
                                case 0: return isNaN(hist.mean) ? "-" : Format.timeText(hist.mean, 3);
                                case 1: return isNaN(hist.std) ? "-" : Format.timeText(hist.std, 3);
                                case 2: return Format.rateText(hist.eventsRate);
                                case 3: return String(hist.integrationEvent);
                                default: return (hist.integrationTime / 1000).toFixed(1) + " s";
                                }
                            }
                        }
                    }
                }
            }
        }

        OldTimeTriggerPanel {
            id: ttPanel
            models: root.tdcModelData
            chartView: plot
            mainWindow: root.mainWindow
        }
    }

    Component {
        id: barComponent
        BarPlotter {}
    }

    property var bars: []
    Component.onCompleted: {
        var list = [];
        for (var i = 0; i < tdcModelData.length; ++i) {
            var bar = barComponent.createObject(plot, { chartArea: plot.refChartArea,
                                                        name: tdcModelData[i].name,
                                                        color: palette[i % palette.length] });
            tdcModelData[i].dataContainer.addPlotter(bar);
            list.push(bar);
        }
        bars = list;
    }
    Component.onDestruction: {
        for (var i = 0; i < bars.length && i < tdcModelData.length; ++i)
            if (tdcModelData[i] && tdcModelData[i].dataContainer)
                tdcModelData[i].dataContainer.removePlotter(bars[i]);
        if (ttPanel.running)
            ttPanel.stop();
    }
}
