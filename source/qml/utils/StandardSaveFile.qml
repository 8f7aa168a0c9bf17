// Folder and file-name entry of an export; isValid() explains what is missing.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "."

Grid {
    id: root

    property alias folderURL: dirPath.folderURL
    readonly property string folderPath: dirPath.folderPath
    property string defaultFileName: "data"
    property alias fileName: nameField.text
    property bool openDestinationFolder: false
    property bool openFolderVisible: true
    readonly property bool valid: dirPath.writable && fileName.trim() !== ""

    signal invalid(string title, string message)

    columns: 1
    spacing: 6

    function warn(title, message) {
        invalid(title, message);
        if (typeof mainWindow !== "undefined" && mainWindow && mainWindow.spawnMessage)
            mainWindow.spawnMessage("warning", title, message);
    }

    function isValid() {
        if (!dirPath.writable) {
            warn("FOLDER PATH", "Select a valid forlder path");
            return false;
        }
        if (fileName.trim() === "") {
            warn("FILE NAME", "Select a valid file name");
            return false;
        }
        return true;
    }

    WriteDirPath {
        id: dirPath
        width: 360
    }

    Label {
        text: "FILE NAME"
        font.bold: true
        color: Style.textDim
    }

    TextField {
        id: nameField
        width: 360
        text: root.defaultFileName
        selectByMouse: true
    }

    CheckBox {
        visible: root.openFolderVisible
        text: "Open destination folder"
        checked: root.openDestinationFolder
        onToggled: root.openDestinationFolder = checked
    }
}
