// Folder picker for a destination; the path turns red when the folder is not writable.
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Dialogs 1.2
import Qt.labs.platform 1.1 as Platform
import "."

Item {
    id: root

    property string label: "SAVE PATH"
    property url folderURL: Platform.StandardPaths.writableLocation(Platform.StandardPaths.DocumentsLocation)
    readonly property string folderPath: fileUtils.getLocalPath(folderURL)
    readonly property bool writable: fileUtils.isDirWritable(folderPath)
    property bool checkWritable: true

    implicitWidth: 360
    implicitHeight: 60

    Label {
        id: caption
        text: root.label
        font.bold: true
        color: Style.textDim
    }

    TextField {
        id: pathField
        anchors { top: caption.bottom; left: parent.left; right: browse.left; rightMargin: 6 }
        readOnly: true
        text: root.folderPath
        color: (!root.checkWritable || root.writable) ? Style.textColor : Style.errorColor
        ToolTip.visible: root.checkWritable && !root.writable && hovered
        ToolTip.text: "Selected folder is not writable"
    }

    ColoredIcon {
        id: browse
        anchors { right: parent.right; verticalCenter: pathField.verticalCenter }
        width: 28; height: 28
        sourceImage: "folder"
        hoverable: true
        color: Style.blueGrey
        onClicked: dialogLoader.active = true
    }

    // The dialog is built when asked for: most panels are never browsed.
    Loader {
        id: dialogLoader
        active: false
        sourceComponent: FileDialog {
            title: "Browsing..."
            selectFolder: true
            folder: root.folderURL
            onAccepted: root.folderURL = fileUrl
            onVisibleChanged: if (!visible) dialogLoader.active = false
            Component.onCompleted: open()
        }
    }
}
