// One attached board on the home view: its picture, name, link, serial number and the
// connect button.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "../utils"

Item {
    id: root

    property var board: ({})
    property bool isConnecting: false
    property bool isConnected: false
    property int connectedDevice: -1
    readonly property bool isThisBoardConnected: isConnected && connectedDevice === board.index
    readonly property string linkText: (board["class"] === "LibFTDI" || board["class"] === "D3XX"
                                        ? "USB" : "Serial") + " link"
    readonly property bool isVirtual: /virtual/i.test(String(board.description || ""))
                                      || /virtual/i.test(String(board.serialNumber || ""))
    readonly property string buttonText: isConnecting ? "CONNECTING..."
                                         : (isThisBoardConnected ? "DISCONNECT" : "CONNECT")

    signal connectRequested(int boardIndex)
    signal disconnectRequested()

    Column {
        anchors.centerIn: parent
        spacing: 14

        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            source: "qrc:/resources/img/board.svg"
            width: Math.min(root.width * 0.6, 460)
            height: width * 0.6
            sourceSize.width: width
            fillMode: Image.PreserveAspectFit
            smooth: true
        }

        Label {
            objectName: "boardName"
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Kestrane"
            font.family: Style.displayFontFamily
            font.pixelSize: 44
            color: Style.textColor
        }

        Label {
            objectName: "linkText"
            anchors.horizontalCenter: parent.horizontalCenter
            text: root.linkText
            font.pixelSize: 18
            color: Style.textDim
        }

        Label {
            objectName: "serialNumber"
            anchors.horizontalCenter: parent.horizontalCenter
            text: "s/n " + (root.board.serialNumber !== undefined ? root.board.serialNumber : "")
            font.pixelSize: 16
            color: Style.textDim
        }

        Label {
            objectName: "virtualNote"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: root.isVirtual
            text: "Virtual board (no hardware attached)"
            font.pixelSize: 14
            font.italic: true
            color: Style.blueGrey
        }

        StandardButton {
            objectName: "connectButton"
            anchors.horizontalCenter: parent.horizontalCenter
            width: 160
            text: root.buttonText
            enabled: !root.isConnecting
            onClicked: {
                if (root.isThisBoardConnected)
                    root.disconnectRequested();
                else
                    root.connectRequested(root.board.index);
            }
        }
    }
}
