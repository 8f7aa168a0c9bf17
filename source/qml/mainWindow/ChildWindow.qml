// An extra window holding views moved out of the main window: its own left bar (VIEWs
// only), top bar and stack.
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

    function saveSettings() {
        settings.setValue("width", width);
        settings.setValue("height", height);
        settings.setValue("x", x);
        settings.setValue("y", y);
        settings.setValue("z", z);
        var entries = frame.leftBar.viewsModel;
        for (var i = 0; i < entries.count; ++i) {
            var entry = entries.get(i);
            var socket = frame.viewStack.findView(entry.viewUUID);
            if (!socket)
                continue;
            settings.beginGroup("view_" + entry.viewUUID);
            settings.setValue("viewTitle", entry.viewTitle);
            settings.setValue("viewIcon", entry.viewIcon);
            settings.setValue("viewType", entry.viewType);
            socket.saveSettings();
            settings.endGroup();
        }
    }

    function loadSettings() {
        width = settings.intValue("width", 800);
        height = settings.intValue("height", 600);
        x = settings.intValue("x", 0);
        y = settings.intValue("y", 0);
        z = settings.intValue("z", 0);
        var groups = settings.childGroups();
        for (var i = 0; i < groups.length; ++i) {
            if (groups[i].indexOf("view_") !== 0)
                continue;
            var uuid = groups[i].substring(5);
            settings.beginGroup(groups[i]);
            var socket = mainWindow.registerNewView(windowID, uuid, [], "",
                                                    String(settings.value("viewTitle", "View")),
                                                    String(settings.value("viewIcon", Style.gridIconUrl)),
                                                    "ViewSocket", String(settings.value("viewType", "")));
            if (socket && !socket.loadSettings())
                mainWindow.removeView(uuid);
            settings.endGroup();
        }
    }

    onClosing: windowClosed(windowID)

    WindowFrame {
        id: frame
        anchors.fill: parent
        mainBar: false
        onAddViewRequested: root.mainWindow.registerNewView(root.windowID)
        onCloseViewRequested: root.mainWindow.removeView(uuid)
    }
}
