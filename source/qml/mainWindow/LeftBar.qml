// The navigation bar of a window: the maker's mark, the GENERAL list, the version icon and
// connection indicator, the TDC MODULE list and the editable VIEWs list. A child window
// shows only its VIEWs.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "../utils"

Rectangle {
    id: root

    property string currentUUID: ""
    property bool mainBar: true
    property bool connected: false
    property string boardName: ""
    property alias generalModel: generalModel
    property alias moduleModel: moduleModel
    property alias viewsModel: viewsModel

    signal viewSelected(string uuid)
    signal addViewRequested()
    signal closeViewRequested(string uuid)
    signal ejectViewRequested(string uuid)
    signal renameViewRequested(string uuid, string title)
    signal versionRequested()

    implicitWidth: 220
    color: Style.leftMenu.background

    ListModel { id: generalModel }
    ListModel { id: moduleModel }
    ListModel { id: viewsModel }

    Flickable {
        anchors.fill: parent
        contentHeight: column.height
        interactive: contentHeight > height
        clip: true

        Column {
            id: column
            width: root.width
            spacing: 6

            OrvellLabelIcon {
                visible: root.mainBar
                width: root.width - 40
                height: visible ? 90 : 0
                anchors.horizontalCenter: parent.horizontalCenter
            }

            LeftBarList {
                objectName: "generalList"
                visible: root.mainBar
                title: "GENERAL"
                model: generalModel
                currentUUID: root.currentUUID
                onSelected: root.viewSelected(uuid)
            }

            Row {
                visible: root.mainBar
                leftPadding: 16
                spacing: 12
                height: 32
                ColoredIcon {
                    objectName: "versionIcon"
                    width: 24; height: 24
                    anchors.verticalCenter: parent.verticalCenter
                    sourceImage: "info-outline"
                    color: Style.leftMenu.icon
                    hoverable: true
                    onClicked: root.versionRequested()
                }
                ConnectionIndicator {
                    objectName: "connectionIndicator"
                    anchors.verticalCenter: parent.verticalCenter
                    visible: root.connected
                    boardName: root.boardName
                }
            }

            LeftBarList {
                objectName: "moduleList"
                visible: root.mainBar
                title: "TDC MODULE"
                model: moduleModel
                currentUUID: root.currentUUID
                onSelected: root.viewSelected(uuid)
            }

            LeftBarList {
                objectName: "viewsList"
                title: "VIEWs"
                model: viewsModel
                editable: true
                currentUUID: root.currentUUID
                onSelected: root.viewSelected(uuid)
                onAddRequested: root.addViewRequested()
                onCloseRequested: root.closeViewRequested(uuid)
                onEjectRequested: root.ejectViewRequested(uuid)
                onRenameRequested: root.renameViewRequested(uuid, title)
            }
        }
    }
}
