// The histogram plugin's main view: every histogrammer of the board, as a table or as a swipe
// list, with parameter files, copying between histograms and the chart views they open.
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import QtQml.Models 2.15
import TDCFrontend.Histogrammer 1.0
import "./../../../../qml/utils"
import "../utils/histfiles.js" as Files

PluginView {
    id: root

    readonly property string chartViewSource: "qrc:/plugin/histogrammermodule/qml/chart/HistogrammerView.qml"
    readonly property string extension: "json"
    readonly property int numCh: typeof tdc_backed !== "undefined" && tdc_backed && tdc_backed.numCh ? tdc_backed.numCh : 1
    readonly property var models: {
        var list = [];
        var data = tdcModelData || [];
        for (var i = 0; i < data.length; ++i)
            if (data[i])
                list.push(data[i]);
        return list;
    }
    property bool listMode: false
    property var selection: []
    property var pendingReset: []
    property var pendingTrim: []
    property alias fileIO: fileIO
    property alias saveDialog: saveDialog
    property alias loadDialog: loadDialog
    property alias copyDialog: copyDialog

    function message(kind, title, text) {
        if (mainWindow)
            mainWindow.spawnMessage(kind, title, text);
        else
            console.warn(title + ": " + text);
    }

    // Selection editing: an edit of a ticked histogram goes to every ticked histogram.
    function isSelected(hist) { return hist !== null && selection.indexOf(hist) >= 0; }
    function setSelected(hist, on) {
        var next = selection.filter(function(h) { return h !== hist; });
        if (on)
            next.push(hist);
        selection = next;
    }
    function namesOtherThan(hist) {
        return models.filter(function(h) { return h !== hist; }).map(function(h) { return h.name; });
    }
    function selectAll(on) { selection = on ? models.slice() : []; }
    function editTargets(hist) {
        if (!isSelected(hist))
            return [hist];
        return selection.filter(function(h) { return !h.isTimeTrigActive; });
    }
    function applyEdit(hist, action) {
        var targets = editTargets(hist);
        for (var i = 0; i < targets.length; ++i)
            action(targets[i]);
    }

    // A swap with the sync input as reference does nothing; its reset would only throw the
    // counts away.
    function swap(hist) {
        var targets = editTargets(hist).filter(function(h) { return h.refCH !== 0; });
        for (var i = 0; i < targets.length; ++i)
            targets[i].swapChannels();
        pendingReset = pendingReset.concat(targets);
        if (targets.length > 0)
            resetTimer.restart();
    }

    function saveParameters(folderPath, fileName) {
        var path = Files.joinPath(folderPath, Files.saveFileName(fileName, extension));
        if (!fileIO.write(path, Files.parametersJson(models))) {
            message("error", "ERROR", "Can not save to file " + path);
            return false;
        }
        return true;
    }

    function openLoadDialog() {
        for (var i = 0; i < models.length; ++i) {
            if (models[i].isTimeTrigActive) {
                message("error", "ERROR", "Some Histogrammers in Time Trigger mode: can not edit parameters");
                return false;
            }
        }
        loadDialog.open();
        return true;
    }

    function validEntry(entry) {
        if (entry.name !== undefined && typeof entry.name !== "string")
            return false;
        for (var k = 1; k < Files.paramKeys.length; ++k) {
            var value = entry[Files.paramKeys[k]];
            if (value !== undefined && (typeof value !== "number" || !isFinite(value)))
                return false;
        }
        return true;
    }

    function loadParameters(path) {
        var text = fileIO.read(path);
        if (!text) {
            message("error", "ERROR", "Can not open file " + path);
            return false;
        }
        var parsed = Files.parseParameters(text);
        if (parsed.error || !parsed.entries.every(validEntry)) {
            message("error", "ERROR", "Can not parse file " + path);
            return false;
        }
        var entries = parsed.entries;
        var count = Math.min(entries.length, models.length);
        var touched = [];
        for (var i = 0; i < count; ++i) {
            var hist = models[i];
            var entry = entries[i];
            hist.disableEdgesTrim();
            for (var k = 0; k < Files.paramKeys.length; ++k) {
                var key = Files.paramKeys[k];
                if (entry[key] !== undefined)
                    hist[key] = entry[key];
            }
            touched.push(hist);
        }
        // The setters run as tasks; edges trimming comes back once they have had their turn.
        trimLater(touched);
        if (entries.length < models.length)
            message("warning", "WARNING", "File contains less histograms; loading only theese");
        else if (entries.length > models.length)
            message("warning", "WARNING", "File contains more histograms; ignoring the latters");
        return true;
    }

    function copyParameters(source, targets, groups) {
        var copied = [];
        for (var i = 0; i < targets.length; ++i) {
            var t = targets[i];
            if (t === source || t.isTimeTrigActive)
                continue;
            if (groups.ref)
                t.setRefCH(source.refCH, source.refPolarity);
            if (groups.meas)
                t.setMeasCH(source.measCH, source.measPolarity);
            if ((groups.left ? 1 : 0) + (groups.right ? 1 : 0) + (groups.width ? 1 : 0) > 1)
                t.disableEdgesTrim();
            if (groups.left)
                t.leftBound = source.leftBound;
            if (groups.right)
                t.rightBound = source.rightBound;
            if (groups.width)
                t.binWidth = source.binWidth;
            if (groups.period)
                t.refreshPeriod = source.refreshPeriod;
            copied.push(t);
        }
        trimLater(copied);
        copyCloseTimer.restart();
        return copied.length;
    }

    function trimLater(list) {
        if (list.length === 0)
            return;
        pendingTrim = pendingTrim.concat(list);
        trimTimer.restart();
    }

    function openCopyDialog(hist) { copyDialog.openFor(hist); }

    // Chart views: sub views of type "ChartView" that show some of these histograms.
    function spawnChartView(indexes, viewUUID) {
        var socket = viewUUID ? mainWindow.dictView[viewUUID] : undefined;
        if (!socket) {
            socket = mainWindow.registerNewView(mainWindow.windowID, "", tdcModelData, chartViewSource,
                                                "ChartView", "qrc:/resources/img/grid_icon.svg",
                                                "ViewSocket", "ChartView");
        }
        if (!socket)
            return "";
        for (var i = 0; i < indexes.length; ++i)
            if (socket.item && indexes[i] >= 0 && indexes[i] < tdcModelData.length)
                socket.item.addHistogramModel(tdcModelData[indexes[i]]);
        return socket.uuid;
    }

    // The legacy histogram plugin's chart views share the view type; they cannot show these
    // histograms, so they are not offered.
    function isHistogramChart(socket) {
        return socket !== undefined && socket !== null && socket.viewType === "ChartView"
               && socket.item !== null && socket.item !== undefined && socket.item.objectName === "histogrammerView";
    }

    function getExistingChartViews() {
        var list = [];
        if (!mainWindow)
            return list;
        for (var uuid in mainWindow.dictView) {
            var socket = mainWindow.dictView[uuid];
            if (isHistogramChart(socket))
                list.push({ uuid: uuid, title: socket.topBarTitle });
        }
        return list;
    }

    function histogramInChartView(hist, viewUUID) {
        var socket = mainWindow ? mainWindow.dictView[viewUUID] : undefined;
        return isHistogramChart(socket) && socket.item.histModels.indexOf(hist) >= 0;
    }

    function openChartMenu(hist, anchorItem) {
        chartMenu.hist = hist;
        chartMenu.views = getExistingChartViews();
        chartMenu.popup(anchorItem);
    }

    function showInChartView(hist, viewUUID) {
        var uuid = spawnChartView([tdcModelData.indexOf(hist)], viewUUID);
        if (uuid !== "")
            mainWindow.setViewByUUID(uuid);
        return uuid;
    }

    function saveSettings() { settings.setValue("listMode", listMode); }
    function loadSettings() { listMode = settings.boolValue("listMode", false); }

    objectName: "histogramSettingsView"
    modelIcon: [
        { icon: "open", tooltip: "Load parameters from file" },
        { icon: "save", tooltip: "Save parameters in file" },
        { icon: listMode ? "grid" : "list", tooltip: listMode ? "Grid view" : "List view" }
    ]
    onModelsChanged: selection = selection.filter(function(h) { return models.indexOf(h) >= 0; })

    FileIO { id: fileIO }

    Timer {
        id: resetTimer
        interval: 1000
        onTriggered: {
            var list = root.pendingReset;
            root.pendingReset = [];
            for (var i = 0; i < list.length; ++i)
                if (root.models.indexOf(list[i]) >= 0)
                    list[i].resetIntegration();
        }
    }
    Timer {
        id: trimTimer
        interval: 100
        onTriggered: {
            var list = root.pendingTrim;
            root.pendingTrim = [];
            for (var i = 0; i < list.length; ++i)
                if (root.models.indexOf(list[i]) >= 0)
                    list[i].enableEdgesTrim();
        }
    }
    Timer {
        id: copyCloseTimer
        interval: 100
        onTriggered: copyDialog.close()
    }

    Connections {
        target: root.topWindowBar
        ignoreUnknownSignals: true
        function onBtn0Fired() { root.openLoadDialog(); }
        function onBtn1Fired() { root.saveDialog.open(); }
        function onBtn2Fired() { root.listMode = !root.listMode; }
    }

    Connections {
        target: root.mainWindow
        ignoreUnknownSignals: true
        function onTurnOffTDCTasks() {
            for (var i = 0; i < root.models.length; ++i)
                root.models[i].isActive = false;
        }
    }

    Rectangle {
        anchors.fill: parent
        color: Style.view.background
    }

    StackLayout {
        anchors.fill: parent
        currentIndex: root.listMode ? 1 : 0
        HistogramTable {
            models: root.models
            view: root
        }
        HistogramSwipeList {
            models: root.models
            view: root
        }
    }

    Menu {
        id: chartMenu
        property var hist: null
        property var views: []
        objectName: "chartMenu"
        MenuItem {
            text: "New ChartView"
            onTriggered: root.showInChartView(chartMenu.hist, null)
        }
        Instantiator {
            model: chartMenu.views
            delegate: MenuItem {
                text: "Add to " + modelData.title
                enabled: chartMenu.hist !== null && !root.histogramInChartView(chartMenu.hist, modelData.uuid)
                onTriggered: root.showInChartView(chartMenu.hist, modelData.uuid)
            }
            onObjectAdded: chartMenu.insertItem(index + 1, object)
            onObjectRemoved: chartMenu.removeItem(object)
        }
    }

    SaveParamsDialog {
        id: saveDialog
        onSaveRequested: root.saveParameters(folderPath, fileName)
    }
    LoadParamsDialog {
        id: loadDialog
        extension: root.extension
        onLoadRequested: root.loadParameters(path)
    }
    CopyDialog {
        id: copyDialog
        models: root.models
        onCopyRequested: root.copyParameters(source, targets, groups)
    }
}
