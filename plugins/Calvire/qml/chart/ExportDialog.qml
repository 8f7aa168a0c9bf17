// Saves the chart as images and the legacy histograms as text files, into a new sub-folder
// named after the file name.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../../qml/utils"

StandardDialog {
    id: root

    readonly property var formatNames: [".png", ".jpeg", ".csv"]
    property var formats: [".png"]
    property alias saveFile: saveFile

    signal exportRequested(string folderPath, string fileName, var formats, bool openFolder)

    function setFormat(ext, on) {
        var next = formats.filter(function(f) { return f !== ext; });
        if (on)
            next.push(ext);
        // Kept in the offered order so the files come out in a fixed order.
        formats = formatNames.filter(function(f) { return next.indexOf(f) >= 0; });
    }

    function saveSettings() {
        settings.setValue("folderURL", String(saveFile.folderURL));
        settings.setValue("fileName", saveFile.fileName);
    }

    function loadSettings() {
        var folder = settings.value("folderURL", "");
        if (String(folder) !== "")
            saveFile.folderURL = folder;
        saveFile.fileName = settings.value("fileName", "Chart");
    }

    dialogTitle: "EXPORT CHART"
    objectName: "exportDialog"

    Column {
        padding: 16
        spacing: 8
        Label { text: "FORMATS"; font.bold: true; color: Style.textDim }
        Row {
            spacing: 8
            Repeater {
                model: root.formatNames
                delegate: CheckBox {
                    objectName: "format" + modelData
                    text: modelData
                    checked: root.formats.indexOf(modelData) >= 0
                    onToggled: root.setFormat(modelData, checked)
                }
            }
        }
        StandardSaveFile {
            id: saveFile
            defaultFileName: "Chart"
        }
        StandardButton {
            objectName: "exportButton"
            text: "EXPORT"
            enabled: root.formats.length > 0
            onClicked: {
                if (!saveFile.isValid())
                    return;
                root.exportRequested(saveFile.folderPath, saveFile.fileName, root.formats,
                                     saveFile.openDestinationFolder);
                root.close();
            }
        }
    }
}
