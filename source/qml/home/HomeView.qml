// The first view of the main window: one page per attached board, turned with the top bar's
// arrows. Serial boards appear only in serial mode (Shift+S).
import QtQuick 2.15
import QtQuick.Controls 2.15
import TDCFrontend 1.0
import "../utils"

Item {
    id: root

    property var mainWindow: null
    readonly property var deviceList: tdc_backed.deviceListMap
    property bool serialMode: false
    property bool isCurrentView: false
    readonly property var shownBoards: {
        var shown = [];
        var list = deviceList || [];
        for (var i = 0; i < list.length; ++i)
            if (serialMode || list[i]["class"] !== "Serial")
                shown.push(list[i]);
        return shown;
    }
    readonly property string uuid: "Home"
    readonly property var currentBoard: swipe.currentIndex >= 0 && swipe.currentIndex < shownBoards.length
                                        ? shownBoards[swipe.currentIndex] : null
    readonly property string topBarTitle: currentBoard ? currentBoard.boardName : "Home"
    readonly property int subViewIndex: swipe.currentIndex
    readonly property int subViewCount: shownBoards.length
    readonly property var modelIcon: []

    function topBarAction(action, argument) {
        var count = shownBoards.length;
        if (count === 0)
            return;
        if (action === "next")
            swipe.currentIndex = (swipe.currentIndex + 1) % count;
        else if (action === "previous")
            swipe.currentIndex = (swipe.currentIndex - 1 + count) % count;
        else if (action === "index" && argument >= 0 && argument < count)
            swipe.currentIndex = argument;
    }

    function toggleSerialMode() {
        serialMode = !serialMode;
        if (mainWindow)
            mainWindow.spawnMessage("info", "SERIAL MODE", "Looking for serial connection...");
    }

    // The session's layout and module configuration are stored before the board goes,
    // whether the user leaves it or switches to another board.
    function disconnectBoard() {
        if (mainWindow)
            mainWindow.saveAll();
        else
            tdc_backed.saveSettings();
        tdc_backed.disconnectDevice();
    }

    function connectBoard(index) {
        if (tdc_backed.isConnected)
            disconnectBoard();
        tdc_backed.connectToDevice(index);
    }

    objectName: "homeView"

    Shortcut {
        sequence: "Shift+S"
        enabled: root.visible
        context: Qt.WindowShortcut
        onActivated: root.toggleSerialMode()
    }

    Connections {
        target: tdc_backed
        function onConnectionResult(res) {
            if (!root.mainWindow)
                return;
            if (res === EConnectionStatus.ERROR_)
                root.mainWindow.spawnMessage("warning", "CONNECTION REFUSED",
                                             "Is not the correct port. Please, try with another one.");
            else if (res === EConnectionStatus.CONNECTED)
                root.mainWindow.spawnMessage("success", "CONNECTED", "Connected to Kestrane board.");
            else if (res === EConnectionStatus.DISCONNECTED)
                root.mainWindow.spawnMessage("info", "DISCONNECTED", "Disconnected from Kestrane board.");
        }
    }

    Label {
        anchors.centerIn: parent
        visible: root.shownBoards.length === 0
        text: "No board found"
        font.pixelSize: 22
        color: Style.textDim
    }

    SwipeView {
        id: swipe
        objectName: "boardPages"
        anchors.fill: parent
        clip: true
        Repeater {
            model: root.shownBoards
            delegate: BoardPage {
                board: modelData
                isConnecting: tdc_backed.isConnecting
                isConnected: tdc_backed.isConnected
                connectedDevice: tdc_backed.connectedDevice
                onConnectRequested: root.connectBoard(boardIndex)
                onDisconnectRequested: root.disconnectBoard()
            }
        }
    }
}
