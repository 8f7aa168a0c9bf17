// Records a series of legacy histogram windows into files: the window length, how many
// windows, which files, where.
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import TDCFrontend.OldHistogrammer 1.0
import "./../../../../qml/utils"

Item {
    id: root

    property var models: []
    property var chartView: null
    property var mainWindow: null
    property alias ttModel: ttModel
    property alias folderText: folderField.text
    property alias fileNameText: nameField.text
    readonly property bool running: ttModel.enableTimeTrigger

    function message(kind, title, text) {
        if (mainWindow)
            mainWindow.spawnMessage(kind, title, text);
        else
            console.warn(title, text);
    }

    function chosenExtensions() {
        var list = [];
        if (pngBox.checked) list.push(".png");
        if (jpegBox.checked) list.push(".jpeg");
        if (csvBox.checked) list.push(".csv");
        return list;
    }

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
        var extensions = chosenExtensions();
        if (folder === "" || name === "" || name.indexOf("/") >= 0 || extensions.length === 0) {
            message("error", "ERROR", "Choose a folder, a file name without \"/\" and at least one format.");
            return false;
        }
        var sub = name;
        for (var n = 1; fileUtils.folderExixsts(folder, sub); ++n)
            sub = name + "_" + n;
        if (!fileUtils.makeFolder(folder, sub)) {
            message("error", "ERROR", "Can not create the folder " + folder + "/" + sub);
            return false;
        }
        // Windows only end for running histograms.
        for (var j = 0; j < models.length; ++j)
            models[j].isActive = true;
        ttModel.extension = extensions;
        ttModel.clearHistModels();
        for (var k = 0; k < models.length; ++k)
            ttModel.addHistModel(models[k]);
        ttModel.folder = "file://" + folder;
        ttModel.subFolder = sub;
        ttModel.filePrefix = name;
        ttModel.timeInterval = intervalBox.value;
        ttModel.repetition = repetitionBox.value;
        ttModel.enableTimeTrigger = true;
        return true;
    }

    function stop() { ttModel.enableTimeTrigger = false; }

    objectName: "legacyTimeTriggerPanel"

    TimeTriggerModel {
        id: ttModel
        onExportHistogram: {
            if (root.chartView)
                root.chartView.exportImage(path, 2);
            else
                ttModel.exportComplete(path);
        }
    }

    Connections {
        target: root.chartView
        ignoreUnknownSignals: true
        // The file's own extension, whatever dots its folders carry.
        function onExportComplete(path, ok) { ttModel.exportComplete(path); }
    }

    BaseView {
        anchors.centerIn: parent
        width: Math.min(parent.width - 48, 620)
        height: layout.implicitHeight + footer.implicitHeight + titleHeight + 56
        title: "TIME TRIGGER"

        GridLayout {
            id: layout
            anchors { left: parent.left; right: parent.right; top: parent.top; margins: 16 }
            columns: 2
            columnSpacing: 16
            enabled: !root.running

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
                CheckBox { id: pngBox; objectName: "ttPng"; text: ".png" }
                CheckBox { id: jpegBox; objectName: "ttJpeg"; text: ".jpeg" }
                CheckBox { id: csvBox; objectName: "ttCsv"; text: ".csv"; checked: true }
            }
            Label { text: "Window (s)" }
            SpinBox {
                id: intervalBox
                objectName: "ttInterval"
                from: 1
                to: 86400
                value: 1
                editable: true
            }
            Label { text: "Windows" }
            SpinBox {
                id: repetitionBox
                objectName: "ttRepetition"
                from: 1
                to: 100000
                value: 3
                editable: true
            }
        }

        RowLayout {
            id: footer
            anchors { left: parent.left; right: parent.right; bottom: parent.bottom; margins: 16 }
            Label {
                objectName: "ttStatus"
                Layout.fillWidth: true
                text: root.running ? "Window ends in " + ttModel.timeInterval + " s, " + ttModel.repetition + " to go"
                                   : "Idle"
                color: Style.textDim
            }
            Button {
                objectName: "ttStartButton"
                text: root.running ? "STOP" : "START"
                highlighted: true
                onClicked: root.running ? root.stop() : root.start()
            }
        }
    }
}
