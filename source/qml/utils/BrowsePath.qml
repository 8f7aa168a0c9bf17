// A labelled path field with a browse button in front of a file dialog.
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Dialogs 1.2
import "."

Item {
    id: root

    property string label: "SAVE PATH"
    property url fileUrl
    property var fileUrls: []
    property url folder
    property var nameFilters: ["All files (*)"]
    property bool selectExisting: true
    property bool selectFolder: false
    property bool selectMultiple: false
    property string title: "Browsing..."

    signal accepted()

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
        text: String(root.selectFolder ? root.folder : root.fileUrl) === "" ? ""
              : fileUtils.getLocalPath(root.selectFolder ? root.folder : root.fileUrl)
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
            title: root.title
            folder: root.folder
            nameFilters: root.nameFilters
            selectExisting: root.selectExisting
            selectFolder: root.selectFolder
            selectMultiple: root.selectMultiple
            onAccepted: {
                root.fileUrl = fileUrl;
                root.fileUrls = fileUrls;
                root.folder = folder;
                root.accepted();
            }
            onVisibleChanged: if (!visible) dialogLoader.active = false
            Component.onCompleted: open()
        }
    }
}
