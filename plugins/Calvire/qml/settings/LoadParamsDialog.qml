// Which parameter file to load; "LOAD" hands its local path to the view.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../../qml/utils"

StandardDialog {
    id: root

    property string extension: "json"
    property alias browse: browse

    signal loadRequested(string path)

    dialogTitle: "LOAD PARAMETERS"
    objectName: "loadParamsDialog"

    Column {
        padding: 16
        spacing: 12
        BrowsePath {
            id: browse
            label: "PARAMETER FILE"
            nameFilters: ["JSON files (*." + root.extension + ")"]
            selectExisting: true
        }
        StandardButton {
            objectName: "loadButton"
            anchors.right: parent.right
            anchors.rightMargin: 16
            text: "LOAD"
            enabled: String(browse.fileUrl) !== ""
            onClicked: {
                root.loadRequested(fileUtils.getLocalPath(browse.fileUrl));
                root.close();
            }
        }
    }
}
