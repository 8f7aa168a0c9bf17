// Records series of histogram windows from the chart view's histograms into files: formats,
// window period, destination and duration, START/STOP, and the run's statistics.
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Chartelle 1.0
import TDCFrontend.Histogrammer 1.0
import "./../../../../qml/utils"
import "./../../../../qml/utils/functions.js" as Functions
import "../utils/histfiles.js" as Files

Item {
    id: root

    property var view: null
    readonly property alias model: ttModel
    readonly property alias chartArea: ttPlot.refChartArea
    readonly property alias plot: ttPlot
    readonly property bool running: ttModel.enableTimeTrigger
    readonly property var formatNames: [".png", ".jpeg", ".csv"]
    property var formats: [".csv"]
    property int refreshPeriod: 50
    // "continuous", "repetitions" or "interval"
    property string durationMode: "continuous"
    property int repetitions: 0
    property string intervalText: "1s"
    readonly property int intervalRepetitions: Files.repetitionsFor(Functions.date_to_milliseconds(intervalText), refreshPeriod)
    readonly property int chosenRepetition: durationMode === "continuous" ? 0
                                            : durationMode === "repetitions" ? repetitions : intervalRepetitions
    readonly property bool imagesChosen: formats.indexOf(".png") >= 0 || formats.indexOf(".jpeg") >= 0
    readonly property bool rateWarning: Files.imageRateWarning(formats, refreshPeriod)
    property string lastRunFolder: ""
    property alias saveFile: saveFile

    function message(kind, title, text) {
        if (view)
            view.message(kind, title, text);
    }

    function setFormat(ext, on) {
        var next = formats.filter(function(f) { return f !== ext; });
        if (on)
            next.push(ext);
        formats = formatNames.filter(function(f) { return next.indexOf(f) >= 0; });
        if (formats.indexOf(".csv") < 0)
            ttModel.singleCSV = false;
    }

    function setRepetition(value) {
        repetitions = Math.max(0, value);
        durationMode = repetitions === 0 ? "continuous" : "repetitions";
    }

    // Returns true when the run started.
    function start() {
        var hists = view ? view.histModels : [];
        if (hists.length === 0) {
            message("error", "ERROR", "No histogram added for Time Trigger.");
            return false;
        }
        for (var i = 0; i < hists.length; ++i) {
            if (hists[i].isTimeTrigActive) {
                message("error", "ERROR", "One or more histogrammers already in Time Trgger mode.");
                return false;
            }
        }
        if (formats.length === 0) {
            message("warning", "FORMATS", "Choose at least one file format");
            return false;
        }
        if (!saveFile.isValid())
            return false;
        var folderPath = saveFile.folderPath;
        var name = saveFile.fileName;
        var sub = Files.firstFreeName(name, function(n) { return fileUtils.folderExixsts(folderPath, n); });
        if (!fileUtils.makeFolder(folderPath, sub)) {
            message("error", "ERROR", "Can not create folder " + Files.joinPath(folderPath, sub));
            return false;
        }
        ttModel.extension = formats;
        ttModel.clearHistModels();
        for (var h = 0; h < hists.length; ++h)
            ttModel.addHistModel(hists[h]);
        ttModel.folder = saveFile.folderURL;
        ttModel.subFolder = sub;
        ttModel.filePrefix = name;
        ttModel.refreshPeriod = refreshPeriod;
        ttModel.repetition = chosenRepetition;
        lastRunFolder = Files.joinPath(folderPath, sub);
        if (saveFile.openDestinationFolder)
            fileUtils.openUrl(lastRunFolder);
        ttPlot.refChartArea.shouldUpdate = refreshPeriod >= 20 || imagesChosen;
        ttModel.enableTimeTrigger = true;
        return true;
    }

    function stop() {
        ttModel.enableTimeTrigger = false;
    }

    function saveSettings() {
        settings.setValue("histTimeTriggerRefreshPeriod", refreshPeriod);
        settings.setValue("histTimeTriggerRepetition", durationMode === "continuous" ? 0 : chosenRepetition);
        settings.setValue("histTimeTriggerFormats", formats.join(","));
        settings.setValue("histTimeTriggerSingleCSV", ttModel.singleCSV);
        settings.setValue("histTimeTriggerFolderURL", String(saveFile.folderURL));
        settings.setValue("histTimeTriggerFileName", saveFile.fileName);
    }

    function loadSettings() {
        refreshPeriod = Math.max(1, settings.intValue("histTimeTriggerRefreshPeriod", 50));
        setRepetition(settings.intValue("histTimeTriggerRepetition", 0));
        var text = String(settings.value("histTimeTriggerFormats", ".csv"));
        formats = formatNames.filter(function(f) { return text.split(",").indexOf(f) >= 0; });
        ttModel.singleCSV = formats.indexOf(".csv") >= 0 && settings.boolValue("histTimeTriggerSingleCSV", false);
        var folder = String(settings.value("histTimeTriggerFolderURL", ""));
        if (folder !== "")
            saveFile.folderURL = folder;
        saveFile.fileName = settings.value("histTimeTriggerFileName", "TimeTrigger");
    }

    objectName: "timeTriggerPanel"

    TimeTriggerModel {
        id: ttModel
        onExportHistogram: ttPlot.exportImage(path, 2)
        onEnableTimeTriggerChanged: if (!enableTimeTrigger) ttPlot.refChartArea.shouldUpdate = true
    }

    RowLayout {
        anchors.fill: parent
        anchors.margins: 12
        spacing: 12

        SPlotQML {
            id: ttPlot
            objectName: "timeTriggerPlot"
            Layout.fillWidth: true
            Layout.fillHeight: true
            enableNavigatorBar: false
            onExportComplete: ttModel.exportComplete(path)
            Component.onCompleted: xAxis.textFunction = function(v, d) { return root.view ? root.view.axisText(v, d) : String(v); }
        }

        Flickable {
            Layout.preferredWidth: 400
            Layout.fillHeight: true
            contentHeight: settingsColumn.implicitHeight
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

            Column {
                id: settingsColumn
                width: 388
                spacing: 8

                StandardConfigurationMenu {
                    width: parent.width
                    title: "CONFIGURATION"
                    enabled: !root.running

                    Label { text: "FORMATS"; font.bold: true; color: Style.textDim }
                    Row {
                        spacing: 4
                        Repeater {
                            model: root.formatNames
                            delegate: CheckBox {
                                objectName: "ttFormat" + modelData
                                text: modelData
                                checked: root.formats.indexOf(modelData) >= 0
                                onToggled: root.setFormat(modelData, checked)
                            }
                        }
                    }
                    CheckBox {
                        objectName: "singleCSVBox"
                        text: "Save all histograms in one CSV"
                        enabled: root.formats.indexOf(".csv") >= 0
                        checked: ttModel.singleCSV
                        onToggled: ttModel.singleCSV = checked
                    }
                    Row {
                        spacing: 8
                        Label { text: "PERIOD [ms]"; anchors.verticalCenter: parent.verticalCenter; font.bold: true; color: Style.textDim }
                        SpinBox {
                            objectName: "ttPeriodBox"
                            from: 1
                            to: 3600000
                            editable: true
                            value: root.refreshPeriod
                            onValueModified: root.refreshPeriod = value
                        }
                        ColoredIcon {
                            objectName: "rateWarning"
                            anchors.verticalCenter: parent.verticalCenter
                            visible: root.rateWarning
                            width: 24; height: 24
                            sourceImage: "warning"
                            color: Style.message.warning.text
                            hoverable: true
                            ToolTip.visible: hovered
                            ToolTip.text: "PC performance could be degraded when saving image at high refresh rate"
                        }
                    }
                    StandardSaveFile {
                        id: saveFile
                        defaultFileName: "TimeTrigger"
                    }
                }

                StandardConfigurationMenu {
                    width: parent.width
                    title: "DURATION"
                    enabled: !root.running

                    RadioButton {
                        objectName: "continuousMode"
                        text: "Continuous"
                        checked: root.durationMode === "continuous"
                        onToggled: if (checked) root.durationMode = "continuous"
                    }
                    Row {
                        spacing: 8
                        RadioButton {
                            objectName: "repetitionMode"
                            text: "Windows"
                            checked: root.durationMode === "repetitions"
                            onToggled: if (checked) root.durationMode = "repetitions"
                        }
                        TextField {
                            objectName: "repetitionField"
                            width: 100
                            enabled: root.durationMode === "repetitions"
                            text: root.repetitions === 0 ? "inf" : String(root.repetitions)
                            validator: RegularExpressionValidator { regularExpression: /^(inf|[0-9]{1,9})$/ }
                            selectByMouse: true
                            onEditingFinished: root.setRepetition(text === "inf" ? 0 : parseInt(text, 10))
                        }
                    }
                    Row {
                        spacing: 8
                        RadioButton {
                            objectName: "intervalMode"
                            text: "Time interval"
                            checked: root.durationMode === "interval"
                            onToggled: if (checked) root.durationMode = "interval"
                        }
                        TextFieldHinted {
                            objectName: "intervalField"
                            width: 100
                            enabled: root.durationMode === "interval"
                            regexp: /^\s*(?:(\d+)\s*d)?\s*(?:(\d+)\s*h)?\s*(?:(\d+)\s*m(?!s))?\s*(?:(\d+)\s*s)?\s*(?:(\d+)\s*ms)?\s*$/
                            tooltipMsg: "e.g., 1m30s"
                            text: root.intervalText
                            onEditingFinished: if (valid) root.intervalText = text
                        }
                        Label {
                            anchors.verticalCenter: parent.verticalCenter
                            visible: root.durationMode === "interval"
                            text: "= " + root.intervalRepetitions + " windows"
                            color: Style.textDim
                        }
                    }
                }

                StandardButton {
                    objectName: "startButton"
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: root.running ? "STOP" : "START"
                    onClicked: root.running ? root.stop() : root.start()
                }

                StandardConfigurationMenu {
                    width: parent.width
                    title: "STATISTICS"
                    GridLayout {
                        columns: 2
                        columnSpacing: 16
                        Label { text: "Windows saved"; color: Style.textDim }
                        Label { objectName: "windowsSaved"; text: String(ttModel.winNum - ttModel.lostWindows) }
                        Label { text: "Lost windows"; color: Style.textDim }
                        Label { objectName: "lostWindows"; text: String(ttModel.lostWindows) }
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
