// Saves and restores the window layout in the settings store: the main window's geometry, and
// while a board is connected its module views, its sub views and the child windows with their
// views. Every function works inside the settings group it is given (a path such as
// "mainWindow/onConnection/subView_0") and leaves the store's cursor where it found it.
import QtQuick 2.15
import QtQuick.Window 2.15
import "../utils"
import "../utils/functions.js" as Functions

QtObject {
    id: store

    // The main window: its registries (windows, childWindows, dictView, moduleViews) and
    // registerNewView, registerNewWindow and removeView.
    property var shell: null

    function enter(group) {
        if (group !== "")
            settings.beginGroup(group);
    }

    function leave(group) {
        if (group !== "")
            settings.endGroup();
    }

    function child(group, name) {
        return group === "" ? name : group + "/" + name;
    }

    function saveGeometry(window, group) {
        enter(group);
        settings.setValue("width", window.width);
        settings.setValue("height", window.height);
        settings.setValue("x", window.x);
        settings.setValue("y", window.y);
        settings.setValue("visibility", window.visibility);
        leave(group);
    }

    // Sets the window's size and place; answers the visibility to show it with.
    function loadGeometry(window, group) {
        enter(group);
        window.width = Math.max(window.minimumWidth, settings.intValue("width", 800));
        window.height = Math.max(window.minimumHeight, settings.intValue("height", 600));
        window.x = settings.intValue("x", 50);
        window.y = settings.intValue("y", 50);
        var stored = settings.intValue("visibility", Window.Windowed);
        leave(group);
        return (stored === Window.Maximized || stored === Window.FullScreen) ? stored : Window.Windowed;
    }

    // A view container: its view file, for a sub view the identifiers of its models, and the
    // view's own keys in "itemContext". A module view is marked "notSubView" by its caller.
    function saveView(socket, group) {
        if (String(socket.viewSocketSource) === "")
            return;
        enter(group);
        settings.setValue("viewSocketSource", String(socket.viewSocketSource));
        if (!settings.contains("notSubView")) {
            var ids = socket.modelUUIDs();
            settings.beginWriteArray("modelUUIDs", ids.length);
            for (var i = 0; i < ids.length; ++i) {
                settings.setArrayIndex(i);
                settings.setValue("uuid", ids[i]);
            }
            settings.endArray();
        }
        if (socket.item) {
            settings.beginGroup("itemContext");
            runViewStep(socket, "saveSettings");
            settings.endGroup();
        }
        leave(group);
    }

    // A view that fails in its own save or load loses its own keys, never the other views'
    // or the module configuration saved after them.
    function runViewStep(socket, step) {
        try {
            socket.item[step]();
        } catch (error) {
            console.warn("View", socket.topBarTitle, "(" + socket.viewSocketSource + ")", "failed in", step + ":", error);
        }
    }

    // Answers false when a stored sub view has lost every model it showed; the caller then
    // removes the view.
    function loadView(socket, group) {
        enter(group);
        if (!settings.contains("viewSocketSource")) {
            leave(group);
            return true;
        }
        var source = settings.value("viewSocketSource");
        var models = socket.tdcModelData;
        if (!settings.contains("notSubView")) {
            models = [];
            var size = settings.beginReadArray("modelUUIDs");
            for (var i = 0; i < size; ++i) {
                settings.setArrayIndex(i);
                var model = tdc_backed.getModelByUUID(String(settings.value("uuid", "")));
                if (model)
                    models.push(model);
            }
            settings.endArray();
            if (models.length === 0) {
                leave(group);
                return false;
            }
        }
        socket.load(source, models);
        if (socket.item) {
            settings.beginGroup("itemContext");
            runViewStep(socket, "loadSettings");
            settings.endGroup();
        }
        leave(group);
        return true;
    }

    function saveChildWindow(window, group) {
        enter(group);
        settings.setValue("width", window.width);
        settings.setValue("height", window.height);
        settings.setValue("x", window.x);
        settings.setValue("y", window.y);
        settings.setValue("z", window.z);
        leave(group);
        var entries = window.frame.leftBar.viewsModel;
        for (var i = 0; i < entries.count; ++i) {
            var entry = entries.get(i);
            var socket = window.frame.viewStack.findView(entry.viewUUID);
            if (!socket)
                continue;
            var viewGroup = child(group, "view_" + entry.viewUUID);
            enter(viewGroup);
            settings.setValue("viewTitle", entry.viewTitle);
            settings.setValue("viewIcon", entry.viewIcon);
            settings.setValue("viewType", entry.viewType);
            leave(viewGroup);
            saveView(socket, viewGroup);
        }
    }

    function loadChildWindow(window, group) {
        enter(group);
        window.width = settings.intValue("width", 800);
        window.height = settings.intValue("height", 600);
        window.x = settings.intValue("x", 0);
        window.y = settings.intValue("y", 0);
        window.z = settings.intValue("z", 0);
        var groups = settings.childGroups();
        leave(group);
        for (var i = 0; i < groups.length; ++i) {
            if (groups[i].indexOf("view_") !== 0)
                continue;
            var uuid = groups[i].substring(5);
            var viewGroup = child(group, groups[i]);
            enter(viewGroup);
            var title = String(settings.value("viewTitle", "View"));
            var icon = String(settings.value("viewIcon", Style.gridIconUrl));
            var type = String(settings.value("viewType", ""));
            leave(viewGroup);
            var socket = shell.registerNewView(window.windowID, uuid, [], "", title, icon, "ViewSocket", type);
            if (socket && !loadView(socket, viewGroup))
                shell.removeView(uuid);
        }
    }

    // Connected: the store is rewritten from scratch with the geometry and the views.
    // Disconnected, there are no views to write: only the geometry is replaced, so the layout
    // and module configuration saved at the last disconnection survive a restart.
    function saveLayout(group) {
        if (!tdc_backed.isConnected) {
            saveGeometry(shell, group);
            return;
        }
        settings.clear();
        saveGeometry(shell, group);
        var connected = child(group, "onConnection");
        var modules = shell.moduleViews;
        for (var i = 0; i < modules.length; ++i) {
            var moduleGroup = child(connected, "modelView_" + modules[i].topBarTitle);
            enter(moduleGroup);
            settings.setValue("notSubView", true);
            leave(moduleGroup);
            saveView(modules[i], moduleGroup);
        }
        var entries = shell.frame.leftBar.viewsModel;
        for (var j = 0; j < entries.count; ++j) {
            var entry = entries.get(j);
            var subGroup = child(connected, "subView_" + j);
            enter(subGroup);
            settings.setValue("viewTitle", entry.viewTitle);
            settings.setValue("viewUUID", entry.viewUUID);
            settings.setValue("viewIcon", entry.viewIcon);
            settings.setValue("viewType", entry.viewType);
            leave(subGroup);
            var socket = shell.dictView[entry.viewUUID];
            if (socket)
                saveView(socket, subGroup);
        }
        for (var id in shell.childWindows)
            saveChildWindow(shell.childWindows[id], child(connected, "window_" + id));
    }

    function loadConnectedLayout(group) {
        var connected = child(group, "onConnection");
        enter(connected);
        var groups = settings.childGroups();
        leave(connected);
        var subViews = [];
        for (var i = 0; i < groups.length; ++i) {
            if (groups[i].indexOf("modelView_") === 0) {
                var title = groups[i].substring(10);
                var modules = shell.moduleViews;
                for (var m = 0; m < modules.length; ++m)
                    if (modules[m].topBarTitle === title)
                        loadView(modules[m], child(connected, groups[i]));
            } else if (groups[i].indexOf("subView_") === 0) {
                subViews.push(groups[i]);
            }
        }
        // Sub views come back in the order they were listed.
        subViews.sort(function(a, b) { return parseInt(a.substring(8), 10) - parseInt(b.substring(8), 10); });
        for (var j = 0; j < subViews.length; ++j) {
            var subGroup = child(connected, subViews[j]);
            enter(subGroup);
            var uuid = String(settings.value("viewUUID", Functions.generateUUID()));
            var viewTitle = String(settings.value("viewTitle", "SubView"));
            var icon = String(settings.value("viewIcon", Style.gridIconUrl));
            var type = String(settings.value("viewType", ""));
            leave(subGroup);
            var socket = shell.registerNewView(shell.windowID, uuid, [], "", viewTitle, icon, "ViewSocket", type);
            if (socket && !loadView(socket, subGroup))
                shell.removeView(uuid);
        }
        for (var k = 0; k < groups.length; ++k) {
            if (groups[k].indexOf("window_") !== 0)
                continue;
            var window = shell.registerNewWindow(groups[k].substring(7));
            if (window)
                loadChildWindow(window, child(connected, groups[k]));
        }
    }
}
