// A chart view of chosen legacy histograms: their bars, statistics and cards, and the
// time-trigger panel that records series of windows from them.
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Chartelle 1.0
import "./../../../../qml/utils"
import "../utils/legacyformat.js" as Format
import "../utils/legacyfiles.js" as Files

PluginView {
    id: root

    property var histModels: []
    property var colors: []
    property var offsets: []
    property var bars: []
    property var ttBars: []
    property var columns: ["MEAN", "STD", "RATE", "EVENTS", "TIME"]
    property int panelIndex: 0
    readonly property bool running: ttPanel.running
    property alias plot: plot
    property alias ttPanel: ttPanel
    property alias exportDialog: exportDialog

    function message(kind, title, text) {
        if (mainWindow)
            mainWindow.spawnMessage(kind, title, text);
        else
            console.warn(title + ": " + text);
    }

    function axisText(v, decimals) {
        return Format.timeText(v, decimals === undefined ? 2 : decimals);
    }

    function indexOfHist(hist) { return histModels.indexOf(hist); }
    function colorOf(hist) { var i = indexOfHist(hist); return i >= 0 && i < colors.length ? colors[i] : '#2f7ed8'; }
    function offsetOf(hist) { var i = indexOfHist(hist); return i >= 0 && i < offsets.length ? offsets[i] : 0; }

    // Both charts follow the main chart's y axis.
    function makeBars(hist, color, chartArea, smoothed) {
        var made = barsComponent.createObject(root, { hist: hist, chartArea: chartArea, color: color,
                                                      smoothed: smoothed, logScale: plot.isYAxisLog });
        made.logScale = Qt.binding(function() { return plot.isYAxisLog; });
        return made;
    }

    function addHistogramModel(hist, color) {
        if (!hist)
            return false;
        if (indexOfHist(hist) >= 0) {
            message("info", "INFO", "Histogrammer already inserted.");
            return false;
        }
        // The other histogram plugin's chart views share the view type, so its histograms can
        // be offered here; the legacy time trigger could not record them.
        if (hist.bitTrunc === undefined) {
            message("info", "INFO", "Only legacy histograms can be shown in this ChartView.");
            return false;
        }
        var chosen = color ? String(color) : Files.colorFor(histModels.length);
        bars = bars.concat([makeBars(hist, chosen, plot.refChartArea, false)]);
        ttBars = ttBars.concat([makeBars(hist, chosen, ttPanel.chartArea, true)]);
        colors = colors.concat([chosen]);
        offsets = offsets.concat([0]);
        histModels = histModels.concat([hist]);
        return true;
    }

    function removeAt(list, i) {
        var copy = list.slice();
        copy.splice(i, 1);
        return copy;
    }

    function removeHistogramModel(hist) {
        var i = indexOfHist(hist);
        if (i < 0)
            return false;
        bars[i].destroy();
        ttBars[i].destroy();
        bars = removeAt(bars, i);
        ttBars = removeAt(ttBars, i);
        colors = removeAt(colors, i);
        offsets = removeAt(offsets, i);
        histModels = removeAt(histModels, i);
        return true;
    }

    function setColor(hist, color) {
        var i = indexOfHist(hist);
        if (i < 0)
            return;
        var copy = colors.slice();
        copy[i] = String(color);
        colors = copy;
        bars[i].color = copy[i];
        ttBars[i].color = copy[i];
    }

    // Moves the bars only: the legacy histogram keeps no statistics of the visible window.
    function setOffset(hist, value) {
        var i = indexOfHist(hist);
        if (i < 0)
            return;
        var copy = offsets.slice();
        copy[i] = value;
        offsets = copy;
        bars[i].xOffset = value;
        ttBars[i].xOffset = value;
        if (typeof hist.setXOffset === "function")
            hist.setXOffset(value);
    }

    function anyInTimeTrigger() {
        for (var i = 0; i < histModels.length; ++i)
            if (histModels[i].isTimeTrigActive)
                return true;
        return false;
    }

    function clean() {
        if (running || anyInTimeTrigger())
            return false;
        for (var i = 0; i < histModels.length; ++i)
            histModels[i].resetBtnFired();
        return true;
    }

    function openExport() {
        if (running) {
            message("warning", "TIME TRIGGER RUNNNING", "It's not possible to save ChartView while Time Trigger is running");
            return false;
        }
        exportDialog.open();
        return true;
    }

    // Returns the folder written to, or "" when it could not be made.
    function exportChart(folderPath, fileName, formats, openFolder) {
        var sub = Files.firstFreeName(fileName, function(name) { return fileUtils.folderExixsts(folderPath, name); });
        if (!fileUtils.makeFolder(folderPath, sub)) {
            message("error", "ERROR", "Can not create folder " + Files.joinPath(folderPath, sub));
            return "";
        }
        var dir = Files.joinPath(folderPath, sub);
        for (var f = 0; f < formats.length; ++f) {
            var ext = formats[f];
            if (ext !== ".csv") {
                plot.exportImage(dir + "/" + fileName + ext);
                continue;
            }
            for (var i = 0; i < histModels.length; ++i)
                histModels[i].exportCSV(dir + "/" + fileName + "_" + histModels[i].name + ".csv");
        }
        if (openFolder)
            fileUtils.openUrl(dir);
        return dir;
    }

    function addColumn(name) {
        if (columns.indexOf(name) < 0 && Files.statColumns.indexOf(name) >= 0)
            columns = columns.concat([name]);
    }
    function removeColumn(name) { columns = columns.filter(function(c) { return c !== name; }); }

    function saveSettings() {
        settings.beginWriteArray("modelArray", histModels.length);
        for (var i = 0; i < histModels.length; ++i) {
            settings.setArrayIndex(i);
            settings.setValue("modelDataIndex", tdcModelData.indexOf(histModels[i]));
            settings.setValue("chartColor", colors[i]);
        }
        settings.endArray();
        ttPanel.saveSettings();
        settings.setValue("columns", columns.join(","));
        settings.setValue("isYAxisLog", plot.isYAxisLog);
        exportDialog.saveSettings();
    }

    function loadSettings() {
        var size = settings.beginReadArray("modelArray");
        var wanted = [];
        for (var i = 0; i < size; ++i) {
            settings.setArrayIndex(i);
            wanted.push({ index: settings.intValue("modelDataIndex", 10),
                          color: settings.value("chartColor", '#2f7ed8') });
        }
        settings.endArray();
        ttPanel.loadSettings();
        columns = Files.columnsFromText(settings.value("columns", columns.join(",")));
        plot.isYAxisLog = settings.boolValue("isYAxisLog", false);
        exportDialog.loadSettings();
        for (var w = 0; w < wanted.length; ++w)
            if (wanted[w].index >= 0 && wanted[w].index < tdcModelData.length)
                addHistogramModel(tdcModelData[wanted[w].index], wanted[w].color);
    }

    objectName: "legacyChartView"
    modelIcon: panelIndex === 0
               ? [{ icon: "save", tooltip: "Save chart" }, { icon: "wiper", tooltip: "Clean" },
                  { icon: "schedule", tooltip: "Time Trigger" }]
               : [{ icon: "bar-chart", tooltip: "Chart View" }]

    Component.onDestruction: {
        if (ttPanel && ttPanel.running)
            ttPanel.stop();
    }

    Component {
        id: barsComponent
        LegacyBars {}
    }

    Connections {
        target: root.topWindowBar
        ignoreUnknownSignals: true
        function onBtn0Fired() {
            if (root.panelIndex === 0)
                root.openExport();
            else
                root.panelIndex = 0;
        }
        function onBtn1Fired() { if (root.panelIndex === 0) root.clean(); }
        function onBtn2Fired() { if (root.panelIndex === 0) root.panelIndex = 1; }
    }

    Rectangle {
        anchors.fill: parent
        color: Style.view.background
    }

    StackLayout {
        anchors.fill: parent
        currentIndex: root.panelIndex

        ColumnLayout {
            spacing: 6
            Row {
                Layout.leftMargin: 12
                Layout.topMargin: 6
                spacing: 12
                CheckBox {
                    objectName: "logScaleBox"
                    text: "Log scale"
                    checked: plot.isYAxisLog
                    onToggled: plot.isYAxisLog = checked
                }
                Label {
                    anchors.verticalCenter: parent.verticalCenter
                    visible: root.histModels.length === 0
                    text: "No histogram: add one from the OldHistogram view"
                    color: Style.textDim
                }
            }
            SPlotQML {
                id: plot
                objectName: "legacyPlot"
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.minimumHeight: 200
                Layout.margins: 6

                BarDecorator {
                    id: decorator
                    chartArea: plot.refChartArea
                    drawLayer: 2
                    showLegend: false
                    plotters: root.bars.map(function(b) { return b.plotter; })
                }
                MouseArea {
                    id: hover
                    x: plot.refChartArea.x
                    y: plot.refChartArea.y
                    width: plot.refChartArea.width
                    height: plot.refChartArea.height
                    acceptedButtons: Qt.NoButton
                    hoverEnabled: true
                    onPositionChanged: {
                        decorator.mouseX = mouse.x;
                        decorator.mouseY = mouse.y;
                    }
                    onContainsMouseChanged: decorator.active = containsMouse
                }
                ChartTooltip {
                    id: tip
                    readonly property var info: decorator.infoMap.length > 0 ? decorator.infoMap[0] : null
                    visible: hover.containsMouse && info !== null
                    x: plot.refChartArea.x + hover.mouseX - width / 2
                    y: plot.refChartArea.y + hover.mouseY - height - 4
                    Text {
                        anchors.centerIn: parent
                        horizontalAlignment: Text.AlignHCenter
                        font.pointSize: 8
                        text: tip.info ? "time " + root.axisText(tip.info.rect.x + tip.info.rect.width / 2) + ":\n"
                                         + Math.round(plot.isYAxisLog ? Math.pow(10, tip.info.rect.height)
                                                                      : tip.info.rect.height)
                                       : ""
                    }
                }
                Component.onCompleted: plot.xAxis.textFunction = root.axisText
            }
            LegacyParameterTable {
                Layout.fillWidth: true
                Layout.preferredHeight: Math.min(220, contentHeight + 14)
                view: root
                models: root.histModels
                columns: root.columns
            }
        }

        OldTimeTriggerPanel {
            id: ttPanel
            view: root
            mainChart: plot
        }
    }

    ExportDialog {
        id: exportDialog
        onExportRequested: root.exportChart(folderPath, fileName, formats, openFolder)
    }
}
