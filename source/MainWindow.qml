// The main window: navigation, the stack of views, the registries of views and windows,
// on-screen messages and the data exchanger shared by all views. What plugin views may call
// here is listed in qml/utils/PluginView.qml; the layout is saved by LayoutStore.
import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import "qml/mainWindow"
import "qml/home"
import "qml/utils"
import "qml/utils/functions.js" as Functions
import "qml/mainWindow/layout.js" as Layout

ApplicationWindow {
    id: mainWindow

    readonly property string windowID: "MainWindow"
    property bool isFirmwareUpdating: false
    readonly property bool debugMode: {
        var version = typeof tessaronVersion !== "undefined" ? String(tessaronVersion) : "";
        return version.substring(version.lastIndexOf(".") + 1) === "debug";
    }
    // The view shown when the last sub view goes: the histogram plugin's, whose view
    // identifier is its icon URL.
    readonly property string histogramViewUUID: "qrc:/plugin/histogrammermodule/img/histogram_icon.png"
    property alias dataExchanger: exchanger
    property alias frame: frame
    property alias homeView: home
    property var windows: ({})
    property var childWindows: ({})
    property var dictView: ({})
    property var moduleViews: []
    property int restoredVisibility: Window.Windowed

    signal turnOffTDCTasks()

    objectName: "mainWindow"
    title: "Tessaron"
    visible: false
    minimumWidth: 800
    minimumHeight: 600
    width: 800
    height: 600
    Material.accent: Material.DeepOrange

    function spawnMessage(type, title, message, icon, time) {
        return messages.spawn(type, title, message, icon === undefined ? "Auto" : icon,
                              time === undefined ? 5000 : time);
    }

    function startExchangeData(module, dataId) { exchanger.startExchangeData(module, dataId); }
    function stopExchangeData(module, dataId) { exchanger.stopExchangeData(module, dataId); }

    function entryTitles(listModel) {
        var titles = [];
        for (var i = 0; i < listModel.count; ++i)
            titles.push(listModel.get(i).viewTitle);
        return titles;
    }

    function indexOfEntry(listModel, uuid) {
        for (var i = 0; i < listModel.count; ++i)
            if (listModel.get(i).viewUUID === uuid)
                return i;
        return -1;
    }

    // The window whose lists hold the view, or null.
    function windowOfView(uuid) {
        for (var id in windows) {
            var bar = windows[id].frame.leftBar;
            if (indexOfEntry(bar.viewsModel, uuid) >= 0 || indexOfEntry(bar.moduleModel, uuid) >= 0
                    || indexOfEntry(bar.generalModel, uuid) >= 0)
                return windows[id];
        }
        return null;
    }

    function createSocket(window, properties) {
        properties.topBar = window.frame.topBar;
        properties.dataExchanger = exchanger;
        properties.mainWindow = mainWindow;
        var socket = socketComponent.createObject(window.frame.viewStack, properties);
        dictView[properties.uuid] = socket;
        return socket;
    }

    function registerNewView(windowID, viewUUID, models, source, title, icon, kind, viewType) {
        var window = windows[windowID];
        if (!window) {
            console.warn("registerNewView: no window", windowID);
            return null;
        }
        if (kind !== undefined && kind !== "ViewSocket")
            console.warn("registerNewView: unknown container", kind, "- using ViewSocket");
        var uuid = viewUUID ? String(viewUUID) : Functions.generateUUID();
        var entries = window.frame.leftBar.viewsModel;
        var entryTitle = Layout.uniqueTitle(title === undefined ? "SubView" : String(title), entryTitles(entries));
        var entryIcon = icon === undefined ? Style.gridIconUrl : String(icon);
        var type = viewType === undefined ? "" : String(viewType);
        entries.append({ viewIcon: entryIcon, viewTitle: entryTitle, viewUUID: uuid, viewType: type });
        var socket = createSocket(window, { uuid: uuid, topBarTitle: entryTitle, viewIcon: entryIcon, viewType: type });
        socket.load(source === undefined ? "" : source, models === undefined ? [] : models);
        return socket;
    }

    // Removing the current view shows the fallback view when no sub view is left, and the
    // window's first view (Home in the main window) otherwise.
    function removeView(viewUUID, fallbackUUID) {
        var fallback = fallbackUUID === undefined ? histogramViewUUID : String(fallbackUUID);
        var window = windowOfView(viewUUID);
        var socket = dictView[viewUUID];
        if (!window || !socket)
            return;
        var entries = window.frame.leftBar.viewsModel;
        var at = indexOfEntry(entries, viewUUID);
        if (at >= 0)
            entries.remove(at);
        var wasCurrent = window.frame.viewStack.currentUUID === viewUUID;
        delete dictView[viewUUID];
        socket.parent = null;
        socket.destroy();
        if (!wasCurrent)
            return;
        window.frame.viewStack.currentUUID = window === windows[windowID] ? "Home" : "";
        if (entries.count === 0)
            setViewByUUID(fallback);
    }

    // A sub view's new title, in its list entry and in the top bar.
    function renameView(viewUUID, title) {
        var text = String(title).trim().substring(0, 12);
        var window = windowOfView(viewUUID);
        var socket = dictView[viewUUID];
        if (!window || !socket || text === "")
            return;
        var entries = window.frame.leftBar.viewsModel;
        var at = indexOfEntry(entries, viewUUID);
        if (at >= 0)
            entries.setProperty(at, "viewTitle", text);
        socket.topBarTitle = text;
    }

    function setViewByUUID(uuid) {
        var window = windowOfView(uuid);
        if (window)
            window.frame.viewStack.currentUUID = uuid;
    }

    function registerNewWindow(uuid) {
        var id = uuid ? String(uuid) : Functions.generateUUID();
        var window = childComponent.createObject(null, { windowID: id, mainWindow: mainWindow });
        if (!window) {
            console.warn("Cannot create a window");
            return null;
        }
        windows[id] = { frame: window.frame, window: window };
        childWindows[id] = window;
        window.windowClosed.connect(unregisterWindow);
        window.show();
        return window;
    }

    function unregisterWindow(id) {
        var window = childWindows[id];
        if (!window)
            return;
        var sockets = window.frame.viewStack.sockets();
        for (var i = 0; i < sockets.length; ++i) {
            delete dictView[sockets[i].uuid];
            sockets[i].destroy();
        }
        delete childWindows[id];
        delete windows[id];
        window.destroy();
    }

    function ejectView(windowID, uuid, point) {
        var socket = dictView[uuid];
        var source = windows[windowID];
        if (!socket || !source)
            return null;
        var bar = source.frame.leftBar;
        var at = indexOfEntry(bar.viewsModel, uuid);
        if (at >= 0)
            bar.viewsModel.remove(at);
        at = indexOfEntry(bar.moduleModel, uuid);
        if (at >= 0)
            bar.moduleModel.remove(at);
        var target = point === undefined ? Qt.point(50, 50) : point;
        var child = registerNewWindow("");
        if (!child)
            return null;
        child.x = target.x;
        child.y = target.y;
        socket.parent = child.frame.viewStack;
        socket.topBar = child.frame.topBar;
        child.frame.leftBar.viewsModel.append({ viewIcon: Style.gridIconUrl, viewTitle: "View",
                                                viewUUID: uuid, viewType: socket.viewType });
        child.frame.viewStack.currentUUID = uuid;
        if (source.frame.viewStack.currentUUID === uuid)
            source.frame.viewStack.currentUUID = windowID === mainWindow.windowID ? "Home" : "";
        return child;
    }

    function buildModuleViews() {
        var modules = [];
        var plugins = tdc_backed.pluginModule;
        for (var i = 0; i < plugins.length; ++i)
            modules.push(plugins[i]);
        modules.sort(function(a, b) { return b.priority - a.priority; });
        var window = windows[windowID];
        for (var j = 0; j < modules.length; ++j) {
            var module = modules[j];
            var models = [];
            var list = module.modelList;
            for (var k = 0; k < list.length; ++k)
                models.push(list[k]);
            if (models.length === 0)
                continue;
            frame.leftBar.moduleModel.append({ viewIcon: module.icon, viewTitle: module.name,
                                               viewUUID: module.uuid, viewType: "" });
            var socket = createSocket(window, { uuid: module.uuid, topBarTitle: module.name, viewIcon: module.icon });
            socket.load(module.view, models);
            moduleViews.push(socket);
        }
        if (moduleViews.length === 1 && moduleViews[0].topBarTitle === "Updater")
            spawnMessage("warning", "RECOVERY MODE", "You are in RECOVERY MODE.\nPlease upload a valid firmware.",
                         "Auto", 50000000);
    }

    function clearViews() {
        var ids = Object.keys(childWindows);
        for (var i = 0; i < ids.length; ++i)
            unregisterWindow(ids[i]);
        for (var uuid in dictView) {
            dictView[uuid].parent = null;
            dictView[uuid].destroy();
        }
        dictView = {};
        moduleViews = [];
        frame.leftBar.moduleModel.clear();
        frame.leftBar.viewsModel.clear();
        frame.viewStack.currentUUID = "Home";
    }

    // The module configuration is written only while models exist; without them it would
    // overwrite the stored one with empty lists.
    function saveAll() {
        layoutStore.saveLayout("mainWindow");
        if (tdc_backed.isConnected)
            tdc_backed.saveSettings();
    }

    function showRestored() {
        visibility = restoredVisibility;
        requestActivate();
    }

    onClosing: {
        if (isFirmwareUpdating) {
            close.accepted = false;
            return;
        }
        saveAll();
        turnOffTDCTasks();
    }

    Component.onCompleted: {
        windows[windowID] = { frame: frame, window: mainWindow };
        frame.leftBar.generalModel.append({ viewIcon: "home", viewTitle: "Home", viewUUID: "Home", viewType: "" });
        frame.viewStack.currentUUID = "Home";
        restoredVisibility = layoutStore.loadGeometry(mainWindow, "mainWindow");
        if (tdc_backed.isConnected)
            buildModuleViews();
    }

    Component {
        id: socketComponent
        ViewSocket {}
    }

    Component {
        id: childComponent
        ChildWindow {}
    }

    DataExchanger {
        id: exchanger
    }

    LayoutStore {
        id: layoutStore
        shell: mainWindow
    }

    WindowFrame {
        id: frame
        anchors.fill: parent
        connected: tdc_backed.isConnected
        boardName: {
            var list = tdc_backed.deviceListMap;
            var index = tdc_backed.connectedDevice;
            return list && index >= 0 && index < list.length ? list[index].boardName : "";
        }
        homeView: home
        onAddViewRequested: registerNewView(windowID)
        onCloseViewRequested: removeView(uuid)
        onRenameViewRequested: renameView(uuid, title)
        onEjectViewRequested: ejectView(windowID, uuid)
        onVersionRequested: versionDialog.open()
    }

    HomeView {
        id: home
        parent: frame.viewStack
        anchors.fill: parent
        mainWindow: mainWindow
    }

    MessageStack {
        id: messages
        anchors { top: parent.top; right: parent.right; bottom: parent.bottom }
        width: 370
        z: 100
    }

    VersionDialog {
        id: versionDialog
    }

    Connections {
        target: tdc_backed
        function onIsConnectedChanged() {
            if (tdc_backed.isConnected)
                buildModuleViews();
            else
                clearViews();
        }
        function onLoadGUISettings() { layoutStore.loadConnectedLayout("mainWindow"); }
    }
}
