// The main window: navigation, the stack of views, the registries of views and windows, the
// layout store, on-screen messages and the data exchanger shared by all views.
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
    // The histogram plugin's view identifier is its icon URL.
    readonly property string histogramViewUUID: "qrc:/plugin/brenmor/histogram_icon.png"
    property alias dataExchanger: exchanger
    property alias frame: frame
    property alias homeView: home
    property var windows: ({})
    property var childWindows: ({})
    property var views: ({})
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
        views[properties.uuid] = socket;
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

    function removeView(viewUUID, fallbackUUID) {
        var fallback = fallbackUUID === undefined ? histogramViewUUID : fallbackUUID;
        var window = windowOfView(viewUUID);
        var socket = views[viewUUID];
        if (!window || !socket)
            return;
        var entries = window.frame.leftBar.viewsModel;
        var at = indexOfEntry(entries, viewUUID);
        if (at >= 0)
            entries.remove(at);
        var wasCurrent = window.frame.viewStack.currentUUID === viewUUID;
        delete views[viewUUID];
        socket.parent = null;
        socket.destroy();
        if (!wasCurrent)
            return;
        if (entries.count > 0)
            window.frame.viewStack.currentUUID = entries.get(Math.min(at, entries.count - 1)).viewUUID;
        else if (views[fallback] !== undefined || fallback === "Home")
            setViewByUUID(fallback);
        else
            window.frame.viewStack.currentUUID = window === windows[windowID] ? "Home" : "";
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
            delete views[sockets[i].uuid];
            sockets[i].destroy();
        }
        delete childWindows[id];
        delete windows[id];
        window.destroy();
    }

    function ejectView(windowID, uuid, point) {
        var socket = views[uuid];
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
        for (var uuid in views) {
            views[uuid].parent = null;
            views[uuid].destroy();
        }
        views = {};
        moduleViews = [];
        frame.leftBar.moduleModel.clear();
        frame.leftBar.viewsModel.clear();
        frame.viewStack.currentUUID = "Home";
    }

    function saveGeometry() {
        settings.beginGroup("mainWindow");
        settings.setValue("width", width);
        settings.setValue("height", height);
        settings.setValue("x", x);
        settings.setValue("y", y);
        settings.setValue("visibility", visibility);
        settings.endGroup();
    }

    // Connected: the store is rewritten from scratch with the geometry and the views.
    // Disconnected, there are no views to write: only the geometry is replaced, so the
    // layout and module configuration saved at the last disconnection survive a restart.
    function saveLayout() {
        if (!tdc_backed.isConnected) {
            saveGeometry();
            return;
        }
        settings.clear();
        saveGeometry();
        settings.beginGroup("mainWindow");
        settings.beginGroup("onConnection");
        for (var i = 0; i < moduleViews.length; ++i) {
            var moduleView = moduleViews[i];
            if (!moduleView.item || typeof moduleView.item.saveSettings !== "function")
                continue;
            settings.beginGroup("modelView_" + moduleView.topBarTitle);
            settings.setValue("notSubView", true);
            moduleView.saveSettings();
            settings.endGroup();
        }
        var entries = frame.leftBar.viewsModel;
        for (var j = 0; j < entries.count; ++j) {
            var entry = entries.get(j);
            settings.beginGroup("subView_" + j);
            settings.setValue("viewTitle", entry.viewTitle);
            settings.setValue("viewUUID", entry.viewUUID);
            settings.setValue("viewIcon", entry.viewIcon);
            settings.setValue("viewType", entry.viewType);
            if (views[entry.viewUUID])
                views[entry.viewUUID].saveSettings();
            settings.endGroup();
        }
        for (var id in childWindows) {
            settings.beginGroup("window_" + id);
            childWindows[id].saveSettings();
            settings.endGroup();
        }
        settings.endGroup();
        settings.endGroup();
    }

    // The module configuration is written only while models exist; without them it would
    // overwrite the stored one with empty lists.
    function saveAll() {
        saveLayout();
        if (tdc_backed.isConnected)
            tdc_backed.saveSettings();
    }

    function loadGeometry() {
        settings.beginGroup("mainWindow");
        width = Math.max(minimumWidth, settings.intValue("width", 800));
        height = Math.max(minimumHeight, settings.intValue("height", 600));
        x = settings.intValue("x", 50);
        y = settings.intValue("y", 50);
        var stored = settings.intValue("visibility", Window.Windowed);
        restoredVisibility = (stored === Window.Maximized || stored === Window.FullScreen) ? stored : Window.Windowed;
        settings.endGroup();
    }

    function showRestored() {
        visibility = restoredVisibility;
        requestActivate();
    }

    function loadConnectedLayout() {
        settings.beginGroup("mainWindow");
        settings.beginGroup("onConnection");
        var groups = settings.childGroups();
        var subViews = [];
        for (var i = 0; i < groups.length; ++i) {
            var group = groups[i];
            if (group.indexOf("modelView_") === 0) {
                var title = group.substring(10);
                for (var m = 0; m < moduleViews.length; ++m) {
                    if (moduleViews[m].topBarTitle !== title)
                        continue;
                    settings.beginGroup(group);
                    moduleViews[m].loadSettings();
                    settings.endGroup();
                }
            } else if (group.indexOf("subView_") === 0) {
                subViews.push(group);
            }
        }
        // Sub views come back in the order they were listed.
        subViews.sort(function(a, b) { return parseInt(a.substring(8), 10) - parseInt(b.substring(8), 10); });
        for (var j = 0; j < subViews.length; ++j) {
            settings.beginGroup(subViews[j]);
            var uuid = String(settings.value("viewUUID", Functions.generateUUID()));
            var socket = registerNewView(windowID, uuid, [], "",
                                         String(settings.value("viewTitle", "SubView")),
                                         String(settings.value("viewIcon", Style.gridIconUrl)),
                                         "ViewSocket", String(settings.value("viewType", "")));
            if (socket && !socket.loadSettings())
                removeView(uuid);
            settings.endGroup();
        }
        for (var k = 0; k < groups.length; ++k) {
            if (groups[k].indexOf("window_") !== 0)
                continue;
            var child = registerNewWindow(groups[k].substring(7));
            if (!child)
                continue;
            settings.beginGroup(groups[k]);
            child.loadSettings();
            settings.endGroup();
        }
        settings.endGroup();
        settings.endGroup();
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
        loadGeometry();
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
        function onLoadGUISettings() { loadConnectedLayout(); }
    }
}
