// An extra window holding views moved out of the main window: its own left bar (VIEWs
// only), top bar and stack. The main window's layout store saves and restores it.
import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import "../utils"

ApplicationWindow {
    id: root

    property string windowID: ""
    property var mainWindow: null
    property alias frame: frame
    property real z: 0

    signal windowClosed(string windowID)

    objectName: "childWindow"
    width: 800
    height: 600
    minimumWidth: 400
    minimumHeight: 300
    Material.accent: Material.DeepOrange
    title: "Tessaron - " + (frame.viewStack.currentView ? frame.viewStack.currentView.topBarTitle : "View")

    onClosing: windowClosed(windowID)

    WindowFrame {
        id: frame
        anchors.fill: parent
        mainBar: false
        onAddViewRequested: root.mainWindow.registerNewView(root.windowID)
        onCloseViewRequested: root.mainWindow.removeView(uuid)
        onRenameViewRequested: root.mainWindow.renameView(uuid, title)
    }
}
