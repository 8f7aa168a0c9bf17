// Where to save the parameter file: a folder and a name; "SAVE" hands both to the view.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../../qml/utils"

StandardDialog {
    id: root

    property string defaultFileName: "histConfig"
    property alias saveFile: saveFile

    signal saveRequested(string folderPath, string fileName)

    dialogTitle: "SAVE PARAMETERS"
    objectName: "saveParamsDialog"

    Column {
        padding: 16
        spacing: 12
        StandardSaveFile {
            id: saveFile
            defaultFileName: root.defaultFileName
            openFolderVisible: false
        }
        StandardButton {
            objectName: "saveButton"
            anchors.right: parent.right
            anchors.rightMargin: 16
            text: "SAVE"
            onClicked: {
                if (!saveFile.isValid())
                    return;
                root.saveRequested(saveFile.folderPath, saveFile.fileName);
                root.close();
            }
        }
    }
}
