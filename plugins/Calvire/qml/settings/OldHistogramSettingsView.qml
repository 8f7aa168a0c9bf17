// The legacy histogram plugin's main view: every legacy histogram, as a table or as a swipe
// list, with parameter files, copying between histograms, and the chart views they open.
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import TDCFrontend.OldHistogrammer 1.0
import "./../../../../qml/utils"
import "../utils/legacyfiles.js" as Files
import "../utils/legacyview.js" as Rules

PluginView {
    id: root

    readonly property string chartViewSource: "qrc:/plugin/oldhistogrammermodule/qml/chart/OldHistogrammerView.qml"
    readonly property string extension: "json"
    readonly property int numCh: typeof tdc_backed !== "undefined" && tdc_backed && tdc_backed.numCh ? tdc_backed.numCh : 9
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
    // The histograms that some legacy chart view shows.
    property var chartShown: []
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
    function isSelected(hist) { return hist !== null && hist !== undefined && selection.indexOf(hist) >= 0; }
    function setSelected(hist, on) { selection = Rules.toggled(selection, hist, on); }
    function selectAll(on) { selection = on ? models.slice() : []; }
    function applyEdit(hist, action) {
        var targets = Rules.editTargets(hist, selection);
        for (var i = 0; i < targets.length; ++i)
            action(targets[i]);
        return targets.length;
    }

    // Chart views say nothing when they take or drop a histogram: the indicator looks again
    // now and then while this view is shown.
    function refreshChartShown() {
        var shown = mainWindow ? Rules.shownInCharts(mainWindow.dictView, chartObjectName) : [];
        if (!Rules.sameMembers(shown, chartShown))
            chartShown = shown;
    }

    function saveParameters(folderPath, fileName) {
        var path = Files.joinPath(folderPath, Files.saveFileName(fileName, extension));
        if (!fileIO.write(path, Files.parametersJson(models))) {
            message("error", "ERROR", "Can not save to file " + path);
            return false;
        }
        return true;
    }

    function anyInTimeTrigger() {
        for (var i = 0; i < models.length; ++i)
            if (models[i].isTimeTrigActive)
                return true;
        return false;
    }

    function openLoadDialog() {
        if (anyInTimeTrigger()) {
            message("error", "ERROR", "Some Histogrammers in Time Trigger mode: can not edit parameters");
            return false;
        }
        loadDialog.open();
        return true;
    }

    // A file that cannot be read or makes no sense changes nothing.
    function loadParameters(path) {
        var text = fileIO.read(path);
        if (!text) {
            message("error", "ERROR", "Can not open file " + path);
            return false;
        }
        var parsed = Files.parseParameters(text);
        if (parsed.error) {
            message("error", "ERROR", "Can not parse file " + path + ": " + parsed.error);
            return false;
        }
        var entries = parsed.entries;
        var count = Math.min(entries.length, models.length);
        for (var i = 0; i < count; ++i)
            Files.applyParameters(entries[i], models[i]);
        if (entries.length < models.length)
            message("warning", "WARNING", "File contains less histograms; loading only theese");
        else if (entries.length > models.length)
            message("warning", "WARNING", "File contains more histograms; ignoring the latters");
        return true;
    }

    function copyParameters(source, targets, groups) {
        var copied = Files.copyParameters(source, targets, groups);
        copyCloseTimer.restart();
        return copied.length;
    }

    function openCopyDialog(hist) { copyDialog.openFor(hist); }

    // Chart views: sub views of type "ChartView" that show some of these histograms. The other
    // histogram plugin's chart views have the same type but take none of these.
    function isLegacyChart(socket) {
        return socket !== undefined && socket !== null && socket.viewType === "ChartView"
               && socket.item !== null && socket.item !== undefined && socket.item.objectName === chartObjectName;
    }

    function spawnChartView(indexes, viewUUID) {
        if (!mainWindow)
            return "";
        var socket = viewUUID ? mainWindow.dictView[viewUUID] : undefined;
        if (socket && !isLegacyChart(socket))
            return "";
        if (!socket) {
            socket = mainWindow.registerNewView(mainWindow.windowID !== undefined ? mainWindow.windowID : "MainWindow",
                                                "", tdcModelData, chartViewSource, "ChartView",
                                                "qrc:/resources/img/grid_icon.svg", "ViewSocket", "ChartView");
        }
        if (!socket)
            return "";
        for (var i = 0; i < indexes.length; ++i)
            if (socket.item && indexes[i] >= 0 && indexes[i] < tdcModelData.length)
                socket.item.addHistogramModel(tdcModelData[indexes[i]]);
        refreshChartShown();
        return socket.uuid;
    }

    function getExistingChartViews() {
        var list = [];
        if (!mainWindow)
            return list;
        for (var uuid in mainWindow.dictView) {
            var socket = mainWindow.dictView[uuid];
            if (isLegacyChart(socket))
                list.push({ uuid: uuid, title: socket.topBarTitle });
        }
        return list;
    }

    function histogramInChartView(hist, viewUUID) {
        var socket = mainWindow ? mainWindow.dictView[viewUUID] : undefined;
        return isLegacyChart(socket) && socket.item.histModels.indexOf(hist) >= 0;
    }

    function showInChartView(indexes, viewUUID) {
        var uuid = spawnChartView(indexes, viewUUID);
        if (uuid !== "")
            mainWindow.setViewByUUID(uuid);
        return uuid;
    }

    function openChartMenu(hist, anchorItem) {
        chartMenu.hist = hist;
        chartMenu.views = getExistingChartViews();
        chartMenu.popup(anchorItem);
    }

    function saveSettings() { settings.setValue("listMode", listMode); }
    function loadSettings() { listMode = settings.boolValue("listMode", false); }

    readonly property string chartObjectName: "legacyChartView"
    objectName: "legacySettingsView"
    modelIcon: [
        { icon: "open", tooltip: "Load parameters from file" },
        { icon: "save", tooltip: "Save parameters in file" },
        { icon: listMode ? "grid" : "list", tooltip: listMode ? "Grid view" : "List view" }
    ]
    onModelsChanged: selection = selection.filter(function(h) { return models.indexOf(h) >= 0; })

    FileIO { id: fileIO }

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

    Timer {
        interval: 500
        repeat: true
        running: root.visible
        triggeredOnStart: true
        onTriggered: root.refreshChartShown()
    }

    Rectangle {
        anchors.fill: parent
        color: Style.view.background
    }

    StackLayout {
        anchors.fill: parent
        currentIndex: root.listMode ? 1 : 0
        OldHistogramTable {
            models: root.models
            view: root
        }
        OldHistogramSwipeList {
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
            objectName: "newChartViewItem"
            text: "New ChartView"
            onTriggered: root.showInChartView([root.tdcModelData.indexOf(chartMenu.hist)], null)
        }
        Instantiator {
            model: chartMenu.views
            delegate: MenuItem {
                text: "Add to " + modelData.title
                enabled: chartMenu.hist !== null && !root.histogramInChartView(chartMenu.hist, modelData.uuid)
                onTriggered: root.showInChartView([root.tdcModelData.indexOf(chartMenu.hist)], modelData.uuid)
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
