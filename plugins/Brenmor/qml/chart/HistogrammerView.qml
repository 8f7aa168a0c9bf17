// A chart view of chosen histograms: the bars, their statistics and cards, and the
// time-trigger panel that records series of windows from them.
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Chartelle 1.0
import "./../../../../qml/utils"
import "../utils/histformat.js" as Format
import "../utils/histfiles.js" as Files

PluginView {
    id: root

    property var histModels: []
    property var colors: []
    property var offsets: []
    property var mainBars: []
    property var ttBars: []
    property var columns: ["MEAN", "STD", "PEAK", "FWHM", "PEAK COUNTS", "RATE"]
    property int panelIndex: 0
    readonly property bool timeTriggerRunning: ttPanel.running
    property alias plot: plot
    property alias ttPanel: ttPanel
    property alias exportDialog: exportDialog
    readonly property var ttModel: ttPanel.model

    function message(kind, title, text) {
        if (mainWindow)
            mainWindow.spawnMessage(kind, title, text);
        else
            console.warn(title + ": " + text);
    }

    function axisText(v, decimals) {
        return Format.formatAxis(v, decimals === undefined ? 2 : decimals,
                                 ttModel ? ttModel.convFactor : 1, ttModel ? ttModel.convOffset : 0,
                                 ttModel ? ttModel.unit : "s");
    }

    // A width in the axis's unit: scaled, not moved.
    function spanText(v, decimals) {
        return Format.formatAxis(v, decimals === undefined ? 2 : decimals,
                                 ttModel ? Math.abs(ttModel.convFactor) : 1, 0, ttModel ? ttModel.unit : "s");
    }

    // The time axis in another unit (factor × time + offset): each returns "" when the text
    // was taken, else the reason, and then changes nothing.
    function setAxisUnit(text) {
        var reason = Files.unitProblem(text);
        if (reason === "")
            ttModel.unit = String(text).trim();
        return reason;
    }
    function setAxisFactor(text) {
        var v = Files.parseFactor(text);
        if (v === null)
            return "A number other than 0, e.g., 1e9 or 0.5";
        ttModel.convFactor = v;
        return "";
    }
    function setAxisOffset(text) {
        var v = Files.parsePlainNumber(text);
        if (v === null)
            return "A number, e.g., -12 or 2.5e-9";
        ttModel.convOffset = v;
        return "";
    }
    // The axis draws its labels once: new units need a new pass.
    function refreshAxisText() {
        plot.xAxis.textFunction = function(v, d) { return root.axisText(v, d); };
    }

    function indexOfHist(hist) { return histModels.indexOf(hist); }
    function colorOf(hist) { var i = indexOfHist(hist); return i >= 0 && i < colors.length ? colors[i] : '#2f7ed8'; }
    function offsetOf(hist) { var i = indexOfHist(hist); return i >= 0 && i < offsets.length ? offsets[i] : 0; }

    function makeBars(hist, color, chartArea, smoothed) {
        var bars = barsComponent.createObject(root, { hist: hist, chartArea: chartArea, color: color,
                                                      logScale: plot.isYAxisLog, smoothed: smoothed });
        if (smoothed)
            bars.averageDepth = Qt.binding(function() { return Files.movingAverageDepth(hist.numBins); });
        bars.logScale = Qt.binding(function() { return plot.isYAxisLog; });
        return bars;
    }

    function addHistogramModel(hist, color) {
        if (!hist)
            return false;
        if (indexOfHist(hist) >= 0) {
            message("info", "INFO", "Histogrammer already inserted.");
            return false;
        }
        var chosen = color ? String(color) : Files.colorFor(histModels.length);
        hist.numGroups = hist.numGroups + 1;
        mainBars = mainBars.concat([makeBars(hist, chosen, plot.refChartArea, false)]);
        ttBars = ttBars.concat([makeBars(hist, chosen, ttPanel.chartArea, true)]);
        colors = colors.concat([chosen]);
        offsets = offsets.concat([0]);
        histModels = histModels.concat([hist]);
        hist.setZoomRect(plot.refChartArea.zoomRect);
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
        hist.numGroups = Math.max(0, hist.numGroups - 1);
        mainBars[i].destroy();
        ttBars[i].destroy();
        mainBars = removeAt(mainBars, i);
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
        mainBars[i].color = copy[i];
        ttBars[i].color = copy[i];
    }

    function setOffset(hist, value) {
        var i = indexOfHist(hist);
        if (i < 0)
            return;
        var copy = offsets.slice();
        copy[i] = value;
        offsets = copy;
        mainBars[i].xOffset = value;
        ttBars[i].xOffset = value;
        hist.setXOffset(value);
    }

    // The window moves so that the histogram's peak sits in its middle.
    function alignedOffset(hist) {
        if (typeof hist.alignTimeOffset === "function")
            return hist.alignTimeOffset();
        return isFinite(hist.peak) ? hist.peak - hist.windowFSR / 2 : NaN;
    }

    function align(hist) {
        var offset = alignedOffset(hist);
        if (offset === undefined || offset === null || !isFinite(offset)) {
            message("warning", "ALIGN", "No peak to align in " + hist.name);
            return false;
        }
        hist.setTimeOffset(offset);
        return true;
    }

    function pushZoom() {
        var zoom = plot.refChartArea.zoomRect;
        for (var i = 0; i < histModels.length; ++i)
            histModels[i].setZoomRect(zoom);
    }

    function anyInTimeTrigger() {
        for (var i = 0; i < histModels.length; ++i)
            if (histModels[i].isTimeTrigActive)
                return true;
        return false;
    }

    function clean() {
        if (timeTriggerRunning || anyInTimeTrigger())
            return false;
        for (var i = 0; i < histModels.length; ++i)
            histModels[i].resetBtnFired();
        return true;
    }

    function openExport() {
        if (timeTriggerRunning) {
            message("warning", "TIME TRIGGER RUNNNING", "It's not possible to save ChartView while Time Trigger is running");
            return false;
        }
        exportDialog.open();
        return true;
    }

    // Returns the folder written to, or "" when it could not be made.
    function exportChart(folderPath, fileName, formats, visibleRange, openFolder) {
        var sub = Files.firstFreeName(fileName, function(name) { return fileUtils.folderExixsts(folderPath, name); });
        if (!fileUtils.makeFolder(folderPath, sub)) {
            message("error", "ERROR", "Can not create folder " + Files.joinPath(folderPath, sub));
            return "";
        }
        var dir = Files.joinPath(folderPath, sub);
        var failed = [];
        for (var f = 0; f < formats.length; ++f) {
            var ext = formats[f];
            if (ext !== ".csv") {
                plot.exportImage(dir + "/" + fileName + ext);
                continue;
            }
            for (var i = 0; i < histModels.length; ++i) {
                var path = dir + "/" + fileName + "_" + histModels[i].name + ".csv";
                var written = visibleRange ? histModels[i].exportVisibleCSV(path) : histModels[i].exportCSV(path);
                if (written === false)
                    failed.push(histModels[i].name);
            }
        }
        if (failed.length > 0)
            message("warning", "EXPORT", "Nothing written for " + failed.join(", ")
                    + (visibleRange ? ": no bins in the visible range" : ""));
        if (openFolder)
            fileUtils.openUrl(dir);
        return dir;
    }

    function addColumn(name) {
        if (columns.indexOf(name) < 0)
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
        settings.setValue("isYAxisLog", plot.isYAxisLog);
        settings.setValue("columns", columns.join(","));
        settings.setValue("axisUnit", ttModel.unit);
        settings.setValue("axisFactor", ttModel.convFactor);
        settings.setValue("axisOffset", ttModel.convOffset);
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
        plot.isYAxisLog = settings.boolValue("isYAxisLog", false);
        var text = String(settings.value("columns", columns.join(",")));
        columns = text === "" ? [] : text.split(",");
        // Stored values go through the same checks as typed ones.
        setAxisUnit(String(settings.value("axisUnit", "s")));
        setAxisFactor(String(settings.value("axisFactor", 1)));
        setAxisOffset(String(settings.value("axisOffset", 0)));
        exportDialog.loadSettings();
        for (var w = 0; w < wanted.length; ++w)
            if (wanted[w].index >= 0 && wanted[w].index < tdcModelData.length)
                addHistogramModel(tdcModelData[wanted[w].index], wanted[w].color);
    }

    objectName: "histogrammerView"
    modelIcon: panelIndex === 0
               ? [{ icon: "save", tooltip: "Save chart" }, { icon: "wiper", tooltip: "Clean" },
                  { icon: "schedule", tooltip: "Time Trigger" }]
               : [{ icon: "bar-chart", tooltip: "Chart View" }]
    onVisibleChanged: if (visible) pushZoom()

    Component.onDestruction: {
        if (ttPanel && ttPanel.running)
            ttPanel.stop();
        for (var i = 0; i < histModels.length; ++i)
            if (histModels[i])
                histModels[i].numGroups = Math.max(0, histModels[i].numGroups - 1);
    }

    Component {
        id: barsComponent
        HistogramBars {}
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
                AxisUnitField {
                    objectName: "axisUnitField"
                    caption: "Unit"
                    shown: root.ttModel ? root.ttModel.unit : "s"
                    apply: root.setAxisUnit
                    tip: "Unit of the time axis"
                }
                AxisUnitField {
                    objectName: "axisFactorField"
                    caption: "Factor"
                    shown: root.ttModel ? Files.plainNumberText(root.ttModel.convFactor) : "1"
                    apply: root.setAxisFactor
                    tip: "The axis shows factor × time + offset"
                }
                AxisUnitField {
                    objectName: "axisOffsetField"
                    caption: "Offset"
                    shown: root.ttModel ? Files.plainNumberText(root.ttModel.convOffset) : "0"
                    apply: root.setAxisOffset
                    tip: "The axis shows factor × time + offset"
                }
                Label {
                    anchors.verticalCenter: parent.verticalCenter
                    visible: root.histModels.length === 0
                    text: "No histogram: add one from the Histogram view"
                    color: Style.textDim
                }
            }
            SPlotQML {
                id: plot
                objectName: "histogramPlot"
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.minimumHeight: 200

                BarDecorator {
                    id: decorator
                    chartArea: plot.refChartArea
                    drawLayer: 2
                    showLegend: false
                    plotters: root.mainBars.map(function(b) { return b.plotter; })
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
                                         + Format.formatNumber(plot.isYAxisLog ? Math.pow(10, tip.info.rect.height)
                                                                               : tip.info.rect.height, 2)
                                       : ""
                    }
                }
                Connections {
                    target: plot.refChartArea
                    function onZoomRectChanged() { root.pushZoom(); }
                }
                Component.onCompleted: plot.xAxis.textFunction = root.axisText
            }
            Connections {
                target: root.ttModel
                ignoreUnknownSignals: true
                function onUnitChanged() { root.refreshAxisText(); }
                function onConvFactorChanged() { root.refreshAxisText(); }
                function onConvOffsetChanged() { root.refreshAxisText(); }
            }
            ParameterTable {
                Layout.fillWidth: true
                Layout.preferredHeight: Math.min(220, contentHeight + 14)
                view: root
                models: root.histModels
                columns: root.columns
            }
        }

        TimeTriggerPanel {
            id: ttPanel
            view: root
        }
    }

    ExportDialog {
        id: exportDialog
        onExportRequested: root.exportChart(folderPath, fileName, formats, visibleRange, openFolder)
    }
}
