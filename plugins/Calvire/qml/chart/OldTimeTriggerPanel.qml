// Records a series of legacy histogram windows from the chart view's histograms into files:
// the window length, how many windows (a count, or a total time), which files, where; its own
// chart shows the histograms smoothed and is the one written as each window's image.
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Chartelle 1.0
import TDCFrontend.OldHistogrammer 1.0
import "./../../../../qml/utils"
import "./../../../../qml/utils/functions.js" as Functions
import "../utils/legacyfiles.js" as Files

Item {
    id: root

    property var view: null
    // The chart view's main chart: it writes the images while this panel is hidden.
    property var mainChart: null
    readonly property alias chartArea: ttPlot.refChartArea
    property alias ttPlot: ttPlot
    readonly property var models: view ? view.histModels : []
    property alias ttModel: ttModel
    property alias folderText: folderField.text
    property alias fileNameText: nameField.text
    readonly property bool running: ttModel.enableTimeTrigger
    readonly property var formatNames: [".png", ".jpeg", ".csv"]
    property var formats: [".csv"]
    // Seconds of one window.
    property int windowSeconds: 1
    // "windows" or "interval"
    property string durationMode: "windows"
    property int windows: 3
    property string intervalText: "10s"
    readonly property int intervalWindows: Files.windowsFor(Functions.date_to_seconds(intervalText), windowSeconds)
    readonly property int chosenRepetition: durationMode === "interval" ? intervalWindows : windows
    property int startedWith: 0
    property bool openFolder: false

    function message(kind, title, text) {
        if (view)
            view.message(kind, title, text);
        else
            console.warn(title, text);
    }

    function setFormat(ext, on) {
        var next = formats.filter(function(f) { return f !== ext; });
        if (on)
            next.push(ext);
        formats = formatNames.filter(function(f) { return next.indexOf(f) >= 0; });
    }

    function chosenExtensions() { return formats.slice(); }

    // Returns true when the run started.
    function start() {
        if (!models || models.length === 0) {
            message("error", "ERROR", "No histogram added for Time Trigger.");
            return false;
        }
        for (var i = 0; i < models.length; ++i) {
            if (models[i].isTimeTrigActive) {
                message("error", "ERROR", "One or more histogrammers already in Time Trgger mode.");
                return false;
            }
        }
        var folder = folderField.text.trim();
        var name = nameField.text.trim();
        if (folder === "" || name === "" || name.indexOf("/") >= 0 || formats.length === 0) {
            message("error", "ERROR", "Choose a folder, a file name without \"/\" and at least one format.");
            return false;
        }
        if (chosenRepetition < 1) {
            message("error", "ERROR", "The duration gives no window: choose at least one.");
            return false;
        }
        var sub = Files.firstFreeName(name, function(n) { return fileUtils.folderExixsts(folder, n); });
        if (!fileUtils.makeFolder(folder, sub)) {
            message("error", "ERROR", "Can not create the folder " + Files.joinPath(folder, sub));
            return false;
        }
        // Windows only end for running histograms.
        for (var j = 0; j < models.length; ++j)
            models[j].isActive = true;
        ttModel.extension = formats;
        ttModel.clearHistModels();
        for (var k = 0; k < models.length; ++k)
            ttModel.addHistModel(models[k]);
        ttModel.folder = "file://" + folder;
        ttModel.subFolder = sub;
        ttModel.filePrefix = name;
        ttModel.timeInterval = windowSeconds;
        ttModel.repetition = chosenRepetition;
        startedWith = chosenRepetition;
        if (openFolder)
            fileUtils.openUrl(Files.joinPath(folder, sub));
        ttModel.enableTimeTrigger = true;
        return true;
    }

    function stop() { ttModel.enableTimeTrigger = false; }

    // A chart that is not shown cannot be grabbed: while the user looks at the main chart,
    // that one is written instead.
    function imageChart() {
        if (!ttPlot.visible && mainChart && mainChart.visible)
            return mainChart;
        return ttPlot;
    }

    function imageWritten(path, ok) {
        if (!running)
            return;
        if (!ok)
            message("warning", "TIME TRIGGER", "The image " + path + " could not be written");
        // The model takes the file's own extension, whatever dots its folders carry; a window
        // whose image failed still ends, or the run would wait for it forever.
        ttModel.exportComplete(path);
    }

    function saveSettings() {
        settings.setValue("histTimeTriggerTimeInterval", windowSeconds);
        settings.setValue("histTimeTriggerRepetition", windows);
        settings.setValue("histTimeTriggerDurationMode", durationMode);
        settings.setValue("histTimeTriggerDuration", intervalText);
        settings.setValue("histTimeTriggerFormats", formats.join(","));
        settings.setValue("histTimeTriggerFolder", folderField.text);
        settings.setValue("histTimeTriggerFileName", nameField.text);
        settings.setValue("histTimeTriggerOpenFolder", openFolder);
    }

    function loadSettings() {
        windowSeconds = Math.max(1, settings.intValue("histTimeTriggerTimeInterval", 1));
        windows = Math.max(1, settings.intValue("histTimeTriggerRepetition", 3));
        durationMode = settings.value("histTimeTriggerDurationMode", "windows") === "interval" ? "interval" : "windows";
        var duration = String(settings.value("histTimeTriggerDuration", "10s"));
        intervalText = Functions.date_to_seconds(duration) > 0 ? duration : "10s";
        var text = String(settings.value("histTimeTriggerFormats", ".csv"));
        formats = formatNames.filter(function(f) { return text.split(",").indexOf(f) >= 0; });
        var folder = String(settings.value("histTimeTriggerFolder", ""));
        if (folder !== "")
            folderField.text = folder;
        nameField.text = settings.value("histTimeTriggerFileName", "Legacy");
        openFolder = settings.boolValue("histTimeTriggerOpenFolder", false);
    }

    objectName: "legacyTimeTriggerPanel"

    TimeTriggerModel {
        id: ttModel
        onExportHistogram: root.imageChart().exportImage(path, 2)
    }

    Connections {
        target: root.mainChart
        ignoreUnknownSignals: true
        function onExportComplete(path, ok) { root.imageWritten(path, ok); }
    }

    Rectangle {
        anchors.fill: parent
        color: Style.view.background
    }

    RowLayout {
        anchors.fill: parent
        anchors.margins: 12
        spacing: 12

        SPlotQML {
            id: ttPlot
            objectName: "legacyTimeTriggerPlot"
            Layout.fillWidth: true
            Layout.fillHeight: true
            enableNavigatorBar: false
            isYAxisLog: root.mainChart ? root.mainChart.isYAxisLog : false
            onExportComplete: root.imageWritten(path, ok)
            Component.onCompleted: xAxis.textFunction = function(v, d) { return root.view ? root.view.axisText(v, d) : String(v); }
        }

        Flickable {
            Layout.preferredWidth: 440
            Layout.fillHeight: true
            contentHeight: column.implicitHeight + 12
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

            Column {
                id: column
                width: 428
                spacing: 12

                StandardConfigurationMenu {
                    width: parent.width
                    title: "CONFIGURATION"
                    enabled: !root.running

                    GridLayout {
                        width: parent.width
                        columns: 2
                        columnSpacing: 16
                        Label { text: "Folder" }
                        TextField {
                            id: folderField
                            objectName: "ttFolder"
                            Layout.fillWidth: true
                            selectByMouse: true
                            text: fileUtils.getDownloadPath()
                        }
                        Label { text: "File name" }
                        TextField {
                            id: nameField
                            objectName: "ttFileName"
                            Layout.fillWidth: true
                            selectByMouse: true
                            text: "Legacy"
                        }
                        Label { text: "Formats" }
                        Row {
                            Repeater {
                                model: root.formatNames
                                delegate: CheckBox {
                                    objectName: "tt" + modelData.charAt(1).toUpperCase() + modelData.slice(2)
                                    text: modelData
                                    checked: root.formats.indexOf(modelData) >= 0
                                    onToggled: root.setFormat(modelData, checked)
                                }
                            }
                        }
                        Label { text: "Window (s)" }
                        SpinBox {
                            id: intervalBox
                            objectName: "ttInterval"
                            from: 1
                            to: 86400
                            value: root.windowSeconds
                            editable: true
                            onValueModified: root.windowSeconds = value
                        }
                        Item { width: 1; height: 1 }
                        CheckBox {
                            objectName: "ttOpenFolder"
                            text: "Open the folder when the run starts"
                            checked: root.openFolder
                            onToggled: root.openFolder = checked
                        }
                    }
                }

                StandardConfigurationMenu {
                    width: parent.width
                    title: "DURATION"
                    enabled: !root.running

                    Row {
                        spacing: 8
                        RadioButton {
                            objectName: "ttWindowsMode"
                            text: "Windows"
                            checked: root.durationMode === "windows"
                            onToggled: if (checked) root.durationMode = "windows"
                        }
                        SpinBox {
                            id: repetitionBox
                            objectName: "ttRepetition"
                            enabled: root.durationMode === "windows"
                            from: 1
                            to: 100000
                            value: root.windows
                            editable: true
                            onValueModified: root.windows = value
                        }
                    }
                    Row {
                        spacing: 8
                        RadioButton {
                            objectName: "ttIntervalMode"
                            text: "Time interval"
                            checked: root.durationMode === "interval"
                            onToggled: if (checked) root.durationMode = "interval"
                        }
                        TextFieldHinted {
                            objectName: "ttTotalField"
                            width: 110
                            enabled: root.durationMode === "interval"
                            regexp: /^\s*(?:(\d+)\s*d)?\s*(?:(\d+)\s*h)?\s*(?:(\d+)\s*m(?!s))?\s*(?:(\d+)\s*s)?\s*$/
                            tooltipMsg: "e.g., 1m30s"
                            text: root.intervalText
                            onEditingFinished: if (valid) root.intervalText = text
                        }
                        Label {
                            objectName: "ttIntervalWindows"
                            anchors.verticalCenter: parent.verticalCenter
                            visible: root.durationMode === "interval"
                            text: "= " + root.intervalWindows + " windows"
                            color: Style.textDim
                        }
                    }
                }

                RowLayout {
                    width: parent.width
                    Label {
                        objectName: "ttStatus"
                        Layout.fillWidth: true
                        text: root.running ? "Window ends in " + ttModel.timeInterval + " s, " + ttModel.repetition + " to go"
                                           : "Idle"
                        color: Style.textDim
                    }
                    StandardButton {
                        objectName: "ttStartButton"
                        text: root.running ? "STOP" : "START"
                        onClicked: root.running ? root.stop() : root.start()
                    }
                }

                // The legacy run arms each window only when the last one is written, so no window
                // is ever lost: there is no lost-window count to show.
                StandardConfigurationMenu {
                    width: parent.width
                    title: "STATISTICS"
                    GridLayout {
                        columns: 2
                        columnSpacing: 16
                        Label { text: "Windows saved"; color: Style.textDim }
                        Label { objectName: "windowsSaved"; text: String(ttModel.windowsSaved) }
                        Label { text: "Elapsed time"; color: Style.textDim }
                        Label { objectName: "elapsedTime"; text: ttModel.elapsedTime + "s" }
                        Label { text: "Saved files"; color: Style.textDim }
                        Label { objectName: "savedFilesSize"; text: Functions.format_to_bytes(Number(ttModel.savedFilesSize)) }
                    }
                }
            }
        }
    }
}
