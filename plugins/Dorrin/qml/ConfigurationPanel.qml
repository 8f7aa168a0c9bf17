// What to record, in which form, where, for how long and split how; SAVE starts the
// recording once every enabled field holds a valid value and the destination is writable.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../qml/utils"
import "ttmrules.js" as Rules

BaseView {
    id: root

    property var model: null
    property var mainWindow: null
    readonly property bool recording: model !== null && model.enableSaveRAW
    readonly property var formats: [".csv", ".bin"]
    property alias saveFile: saveFile
    property alias durationField: durationField
    property alias sizeField: sizeField
    property alias splitTimeField: splitTimeField

    title: "CONFIGURATION"

    function warn(title, text) {
        if (mainWindow && mainWindow.spawnMessage)
            mainWindow.spawnMessage("warning", title, text);
    }

    // The checks in the order the user reads the panel's rules; the first failure is shown.
    function validate() {
        if (sizeField.enabled && Rules.sizeToBytes(sizeField.text) < 0) {
            warn("SIZE RULE", "Please insert a valid value into the size rule field");
            return false;
        }
        if (splitTimeField.enabled && Rules.splitTimeToSeconds(splitTimeField.text) <= 0) {
            warn("TIME RULE", "Please insert a valid value into the time rule field");
            return false;
        }
        if (durationField.enabled && Rules.durationToMs(durationField.text) <= 0) {
            warn("TIME INTEGRATION", "Please insert a valid value into the time integration field");
            return false;
        }
        return saveFile.isValid();
    }

    function applySettings() {
        model.integrationMode = intervalRadio.checked ? "TIME_INTERVAL" : "CONTINUOUS";
        if (durationField.enabled)
            model.timeInterval = Rules.durationToMs(durationField.text);
        model.enableSplit = splitBox.checked;
        model.splitMode = timeRuleRadio.checked ? "TIME" : "SIZE";
        if (sizeField.enabled)
            model.fileSize = Rules.sizeToBytes(sizeField.text);
        if (splitTimeField.enabled)
            model.splitTimeInterval = Rules.splitTimeToSeconds(splitTimeField.text);
    }

    function saveOrStop() {
        if (!model)
            return;
        if (model.enableSaveRAW) {
            model.enableSaveRAW = false;
            return;
        }
        if (!validate())
            return;
        var filters = Rules.recordingFilters(whatToSave.selectedItem, tdc_backed.numCh);
        model.risingFilter = filters.rising;
        model.fallingFilter = filters.falling;
        var folder = saveFile.folderPath;
        var name = saveFile.fileName.trim();
        var sub = Rules.chooseSubFolder(name, function(candidate) {
            return fileUtils.folderExixsts(folder, candidate);
        });
        model.folderRAW = saveFile.folderURL;
        model.subFolderRAW = sub;
        model.fileNameRAW = name;
        fileUtils.makeFolder(saveFile.folderURL, sub);
        if (saveFile.openDestinationFolder)
            fileUtils.openUrl(folder + "/" + sub);
        model.rawFileFormat = formats[format.selectedItem];
        applySettings();
        model.enableSaveRAW = true;
    }

    ScrollView {
        id: scroll
        anchors { left: parent.left; right: parent.right; top: parent.top; bottom: saveButton.top; margins: 10 }
        clip: true
        contentWidth: availableWidth

        Column {
            width: scroll.availableWidth
            spacing: 8
            enabled: !root.recording

            GroupChooser {
                id: whatToSave
                objectName: "ttmWhatToSave"
                width: parent.width
                title: "WHAT TO SAVE:"
                model: ["All channels - Rising edges", "All channels - Falling edges", "All channels - Both edges"]
                selectedItem: 0
            }
            Label {
                objectName: "ttmWhatToSaveNote"
                visible: whatToSave.selectedItem !== 0
                text: whatToSave.selectedItem === 1 ? "Excluding SYNC channel" : "Rising edges only for SYNC channel"
                color: "red"
            }

            GroupChooser {
                id: format
                objectName: "ttmFormat"
                width: parent.width
                title: "SELECT FORMAT:"
                model: root.formats
                selectedItem: 0
            }

            Label {
                text: "WHERE TO SAVE:"
                font.bold: true
                color: Style.textDim
            }
            StandardSaveFile {
                id: saveFile
                objectName: "ttmSaveFile"
                defaultFileName: "ttm-acquisition"
                folderURL: root.model ? root.model.folderRAW : folderURL
            }

            Label {
                text: "ACQUISITION DURATION:"
                font.bold: true
                color: Style.textDim
            }
            RadioButton {
                id: continuousRadio
                objectName: "ttmContinuous"
                text: "CONTINUOUS"
                checked: true
            }
            Row {
                spacing: 6
                RadioButton {
                    id: intervalRadio
                    objectName: "ttmTimeInterval"
                    text: "TIME INTERVAL: "
                }
                TextFieldHinted {
                    id: durationField
                    objectName: "ttmDurationField"
                    width: 200
                    enabled: intervalRadio.checked
                    placeholderText: Rules.durationPlaceholder
                    regexp: Rules.durationPattern
                    tooltipMsg: Rules.durationPlaceholder
                    onTextChanged: if (root.model && Rules.durationToMs(text) > 0) root.model.timeInterval = Rules.durationToMs(text)
                }
            }
            ButtonGroup { buttons: [continuousRadio, intervalRadio] }

            Label {
                text: "FILE SPLIT:"
                font.bold: true
                color: Style.textDim
            }
            CheckBox {
                id: splitBox
                objectName: "ttmSplitEnable"
                text: "SPLIT ENABLE"
                onToggled: if (root.model) root.model.enableSplit = checked
            }
            Row {
                spacing: 6
                enabled: splitBox.checked
                RadioButton {
                    id: sizeRuleRadio
                    objectName: "ttmSizeRule"
                    text: "SIZE RULE: "
                    checked: true
                }
                TextFieldHinted {
                    id: sizeField
                    objectName: "ttmSizeField"
                    width: 200
                    enabled: splitBox.checked && sizeRuleRadio.checked
                    placeholderText: Rules.sizePlaceholder
                    regexp: Rules.sizePattern
                    tooltipMsg: Rules.sizePlaceholder
                    onTextChanged: if (root.model && Rules.sizeToBytes(text) >= 0) root.model.fileSize = Rules.sizeToBytes(text)
                }
            }
            Row {
                spacing: 6
                enabled: splitBox.checked
                RadioButton {
                    id: timeRuleRadio
                    objectName: "ttmTimeRule"
                    text: "TIME RULE: "
                }
                TextFieldHinted {
                    id: splitTimeField
                    objectName: "ttmSplitTimeField"
                    width: 200
                    enabled: splitBox.checked && timeRuleRadio.checked
                    placeholderText: Rules.splitTimePlaceholder
                    regexp: Rules.splitTimePattern
                    tooltipMsg: Rules.splitTimePlaceholder
                    onTextChanged: if (root.model && Rules.splitTimeToSeconds(text) > 0) root.model.splitTimeInterval = Rules.splitTimeToSeconds(text)
                }
            }
            ButtonGroup { buttons: [sizeRuleRadio, timeRuleRadio] }
        }
    }

    StandardButton {
        id: saveButton
        objectName: "ttmSaveButton"
        anchors { right: parent.right; bottom: parent.bottom; margins: 12 }
        text: root.recording ? "STOP" : "SAVE"
        // The previous recording's file is still being completed.
        enabled: root.model !== null && !(root.model.emptyingQueue && !root.recording)
        onClicked: root.saveOrStop()
    }
}
