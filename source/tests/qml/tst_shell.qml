import QtQuick 2.15
import QtQuick.Window 2.15
import QtTest 1.2
import "fakes"

TestCase {
    id: test
    name: "Shell"
    when: windowShown

    property var window: null
    readonly property string histogramIcon: "qrc:/plugin/histogrammermodule/img/histogram_icon.png"

    Component { id: counterModelComponent; FakeCounterModel {} }
    Component { id: moduleComponent; FakeModuleObject {} }
    SignalSpy { id: requestSpy; signalName: "exchangeDataReq" }

    function makeModel(uuid) {
        return counterModelComponent.createObject(test, { modelUUID: uuid });
    }

    function makeModule(name, icon, priority, view, models) {
        return moduleComponent.createObject(test, { name: name, icon: icon, uuid: icon, priority: priority,
                                                    view: view, modelList: models });
    }

    function init() {
        settings.clear();
        tdc_backed.isConnected = false;
        tdc_backed.connectedDevice = -1;
        tdc_backed.pluginModule = [];
        tdc_backed.calls = [];
        tdc_backed.deviceListMap = [];
        var component = Qt.createComponent("qrc:/MainWindow.qml");
        compare(component.status, Component.Ready, component.errorString());
        window = component.createObject(null);
        verify(window);
        window.showRestored();
        tryVerify(function() { return window.visible; });
    }

    function cleanup() {
        if (window)
            window.destroy();
        window = null;
        wait(0);
    }

    function viewTitles() {
        var titles = [];
        var list = window.frame.leftBar.viewsModel;
        for (var i = 0; i < list.count; ++i)
            titles.push(list.get(i).viewTitle);
        return titles;
    }

    function connectWithViews() {
        var counter = makeModule("Counter", "stopwatch", 16384, "qrc:/plugin/fennick/CounterView.qml",
                                 [makeModel("{c-1}")]);
        var histogram = makeModule("Histogram", histogramIcon, 8192, Qt.resolvedUrl("fakes/PlainView.qml"),
                                   [makeModel("{h-1}")]);
        var empty = makeModule("TTM", "ttm", 8192, Qt.resolvedUrl("fakes/PlainView.qml"), []);
        tdc_backed.simulateConnect([histogram, empty, counter]);
        return { counter: counter, histogram: histogram };
    }

    function test_subViewTitles() {
        window.registerNewView("MainWindow");
        window.registerNewView("MainWindow");
        window.registerNewView("MainWindow");
        compare(viewTitles(), ["SubView", "SubView 1", "SubView 2"]);
        window.registerNewView("MainWindow", "", [], "", "My view");
        window.registerNewView("MainWindow", "", [], "", "My view");
        compare(viewTitles().slice(3), ["My view", "My view 1"], "text before the last word is kept");
        window.removeView(window.frame.leftBar.viewsModel.get(1).viewUUID);
        window.registerNewView("MainWindow");
        compare(viewTitles()[4], "SubView 1", "a freed title is taken again");
    }

    function test_dataExchangerCounting() {
        requestSpy.target = window.dataExchanger;
        requestSpy.clear();
        for (var i = 0; i < 3; ++i)
            window.startExchangeData("Counter", "Counts");
        compare(requestSpy.count, 1);
        compare(requestSpy.signalArguments[0][0], { "Counter": { "data_id": "Counts", "type": "start" } });
        window.startExchangeData("Counter", "Other");
        compare(requestSpy.count, 2, "each data item is counted apart");
        window.stopExchangeData("Counter", "Counts");
        window.stopExchangeData("Counter", "Counts");
        compare(requestSpy.count, 2);
        window.stopExchangeData("Counter", "Counts");
        compare(requestSpy.count, 3);
        compare(requestSpy.signalArguments[2][0], { "Counter": { "data_id": "Counts", "type": "stop" } });
        window.stopExchangeData("Counter", "Counts");
        compare(requestSpy.count, 3, "a stop without a start asks nothing");
        window.startExchangeData("Counter", "Counts");
        compare(requestSpy.count, 4, "a new start after the last stop asks again");
    }

    function test_moduleViewsFollowConnection() {
        connectWithViews();
        var modules = window.frame.leftBar.moduleModel;
        compare(modules.count, 2, "a plugin without models gets no view");
        compare(modules.get(0).viewTitle, "Counter", "largest priority first");
        compare(modules.get(0).viewUUID, "stopwatch", "views are identified by the plugin icon");
        compare(modules.get(1).viewUUID, histogramIcon);
        window.setViewByUUID("stopwatch");
        compare(window.frame.topBar.title, "Counter");
        window.registerNewView("MainWindow");
        tdc_backed.simulateDisconnect();
        compare(modules.count, 0);
        compare(window.frame.leftBar.viewsModel.count, 0);
        compare(Object.keys(window.dictView).length, 0);
        compare(window.frame.viewStack.currentView, window.homeView, "the home view is shown again");
    }

    function test_fallbackView() {
        connectWithViews();
        var socket = window.registerNewView("MainWindow");
        window.setViewByUUID(socket.uuid);
        compare(window.frame.viewStack.currentView, socket);
        window.removeView(socket.uuid);
        compare(window.frame.viewStack.currentUUID, histogramIcon);
        compare(window.frame.viewStack.currentView.topBarTitle, "Histogram");

        // With another sub view left, the fallback is not used: Home is shown.
        var first = window.registerNewView("MainWindow");
        var second = window.registerNewView("MainWindow");
        window.setViewByUUID(second.uuid);
        window.removeView(second.uuid);
        compare(window.frame.viewStack.currentView, window.homeView);

        // Removing a view that is not current changes nothing on screen.
        var third = window.registerNewView("MainWindow");
        window.setViewByUUID(first.uuid);
        window.removeView(third.uuid);
        compare(window.frame.viewStack.currentView, first);

        // An explicit fallback is honoured.
        window.removeView(first.uuid, "stopwatch");
        compare(window.frame.viewStack.currentUUID, "stopwatch");
    }

    function test_viewsGetTheDeclaredContract() {
        var modules = connectWithViews();
        var socket = window.dictView[histogramIcon];
        verify(socket, "module views are registered by their identifier");
        var view = socket.item;
        compare(view.tdcModelData.length, 1);
        compare(view.tdcModelData[0].modelUUID, "{h-1}");
        compare(view.dataExchanger, window.dataExchanger);
        compare(view.viewSocket, socket);
        compare(view.mainWindow, window);
        verify(view.topWindowBar);
        compare(socket.modelIcon.length, 3, "the view's buttons reach its container");
        window.setViewByUUID(histogramIcon);
        compare(window.frame.topBar.modelIcon.length, 3);

        // The counter view declares nothing to save; saving it is still safe.
        window.saveAll();
        verify(settings.allKeys().indexOf("mainWindow/onConnection/modelView_Histogram/itemContext/note") >= 0);
    }

    function test_topBarButtonsReachOnlyTheCurrentView() {
        var modules = connectWithViews();
        var model = modules.histogram.modelList[0];
        var first = window.registerNewView("MainWindow", "", [model], Qt.resolvedUrl("fakes/PlainView.qml"), "First");
        var second = window.registerNewView("MainWindow", "", [model], Qt.resolvedUrl("fakes/PlainView.qml"), "Second");
        window.setViewByUUID(second.uuid);
        window.frame.topBar.btn0Fired();
        window.frame.topBar.btn2Fired();
        window.setViewByUUID(first.uuid);
        window.frame.topBar.btn1Fired();
        compare(second.item.fired, ["btn0", "btn2"]);
        compare(first.item.fired, ["btn1"]);
        compare(window.dictView[histogramIcon].item.fired, [], "module views not shown hear nothing");
    }

    function test_renameChangesTheTopBarTitle() {
        var socket = window.registerNewView("MainWindow");
        window.setViewByUUID(socket.uuid);
        compare(window.frame.topBar.title, "SubView");
        window.renameView(socket.uuid, "  Rates over time ");
        compare(window.frame.leftBar.viewsModel.get(0).viewTitle, "Rates over t");
        compare(socket.topBarTitle, "Rates over t");
        compare(window.frame.topBar.title, "Rates over t");
        window.renameView(socket.uuid, "   ");
        compare(socket.topBarTitle, "Rates over t", "a blank title is refused");
    }

    function test_connectOnAnotherBoardSavesBeforeDisconnecting() {
        tdc_backed.deviceListMap = [
            { "index": 0, "class": "LibFTDI", "serialNumber": "A", "boardName": "Kestrane" },
            { "index": 1, "class": "LibFTDI", "serialNumber": "B", "boardName": "Kestrane" }];
        var modules = connectWithViews();
        window.registerNewView("MainWindow", "", [modules.counter.modelList[0]],
                               Qt.resolvedUrl("fakes/PlainView.qml"), "Rates");
        tdc_backed.calls = [];
        window.homeView.connectBoard(1);
        compare(tdc_backed.calls, ["saveSettings", "disconnectDevice", "connectToDevice(1)"]);
        compare(settings.value("mainWindow/onConnection/subView_0/viewTitle"), "Rates",
                "the session's layout is stored before the board goes");

        // Not connected: nothing to save, straight to the board.
        tdc_backed.simulateDisconnect();
        tdc_backed.calls = [];
        window.homeView.connectBoard(0);
        compare(tdc_backed.calls, ["connectToDevice(0)"]);
    }

    function test_fallbackWithoutHistogramShowsHome() {
        var socket = window.registerNewView("MainWindow");
        window.setViewByUUID(socket.uuid);
        window.removeView(socket.uuid);
        compare(window.frame.viewStack.currentView, window.homeView);
    }

    function test_layoutRoundTrip() {
        var modules = connectWithViews();
        var model = modules.counter.modelList[0];
        var socket = window.registerNewView("MainWindow", "", [model], Qt.resolvedUrl("fakes/PlainView.qml"),
                                            "Rates", "stopwatch", "ViewSocket", "chart");
        socket.item.note = "kept";
        window.registerNewView("MainWindow");
        window.width = 1000;
        window.saveAll();
        verify(tdc_backed.calls.indexOf("saveSettings") >= 0);
        tdc_backed.simulateDisconnect();
        compare(window.frame.leftBar.viewsModel.count, 0);

        // Same model identifier after reconnection: the sub view finds its model again.
        modules.counter.modelList = [makeModel("{c-1}")];
        modules.histogram.modelList = [makeModel("{h-1}")];
        tdc_backed.simulateConnect(tdc_backed.pluginModule);
        tdc_backed.loadGUISettings();
        compare(viewTitles(), ["Rates", "SubView"], "sub views come back in their order, empty ones too");
        var restored = window.dictView[window.frame.leftBar.viewsModel.get(0).viewUUID];
        compare(restored.uuid, socket.uuid);
        compare(restored.viewType, "chart");
        compare(restored.tdcModelData.length, 1);
        compare(restored.tdcModelData[0].modelUUID, "{c-1}");
        compare(restored.item.note, "kept");
        compare(window.frame.leftBar.viewsModel.get(0).viewIcon, "stopwatch");
    }

    function test_failingViewLosesOnlyItsOwnKeys() {
        var modules = connectWithViews();
        var model = modules.counter.modelList[0];
        window.registerNewView("MainWindow", "", [model], Qt.resolvedUrl("fakes/FailingView.qml"), "Broken");
        var kept = window.registerNewView("MainWindow", "", [model], Qt.resolvedUrl("fakes/PlainView.qml"), "Kept");
        kept.item.note = "still here";
        ignoreWarning(/failed in saveSettings/);
        window.saveAll();
        compare(settings.value("mainWindow/onConnection/subView_1/itemContext/note"), "still here");
        verify(tdc_backed.calls.indexOf("saveSettings") >= 0, "the module configuration is saved after it");
        compare(settings.groups.length, 0, "the settings cursor is back at the top");

        tdc_backed.simulateDisconnect();
        modules.counter.modelList = [makeModel("{c-1}")];
        modules.histogram.modelList = [makeModel("{h-1}")];
        tdc_backed.simulateConnect(tdc_backed.pluginModule);
        ignoreWarning(/failed in loadSettings/);
        tdc_backed.loadGUISettings();
        compare(viewTitles(), ["Broken", "Kept"]);
        compare(window.dictView[window.frame.leftBar.viewsModel.get(1).viewUUID].item.note, "still here");
        compare(settings.groups.length, 0);
    }

    function test_storedViewWithoutModelsIsRemoved() {
        var modules = connectWithViews();
        window.registerNewView("MainWindow", "", [modules.counter.modelList[0]],
                               Qt.resolvedUrl("fakes/PlainView.qml"), "Rates");
        window.saveAll();
        tdc_backed.simulateDisconnect();
        modules.counter.modelList = [makeModel("{other}")];
        modules.histogram.modelList = [makeModel("{h-1}")];
        tdc_backed.simulateConnect(tdc_backed.pluginModule);
        tdc_backed.loadGUISettings();
        compare(window.frame.leftBar.viewsModel.count, 0);
        compare(Object.keys(window.dictView).length, 2, "only the module views remain");
    }

    function test_closeWhileDisconnectedKeepsLayout() {
        var modules = connectWithViews();
        window.registerNewView("MainWindow", "", [modules.counter.modelList[0]],
                               Qt.resolvedUrl("fakes/PlainView.qml"), "Rates");
        window.homeView.disconnectBoard();
        compare(tdc_backed.calls, ["saveSettings", "disconnectDevice"]);
        tdc_backed.simulateDisconnect();
        verify(settings.allKeys().indexOf("mainWindow/onConnection/subView_0/viewTitle") >= 0);
        tdc_backed.calls = [];
        window.close();
        verify(settings.allKeys().indexOf("mainWindow/onConnection/subView_0/viewTitle") >= 0,
               "the layout stored at disconnection survives closing");
        compare(tdc_backed.calls, [], "no empty module configuration is written");
    }

    function test_closeRefusedDuringFirmwareUpdate() {
        window.isFirmwareUpdating = true;
        window.close();
        verify(window.visible);
        compare(settings.allKeys().length, 0, "nothing is saved either");
        window.isFirmwareUpdating = false;
        window.close();
        verify(!window.visible);
        compare(settings.intValue("mainWindow/width"), window.width);
    }

    function test_geometryRestored() {
        settings.setValue("mainWindow/width", 1024);
        settings.setValue("mainWindow/height", 700);
        settings.setValue("mainWindow/x", 10);
        settings.setValue("mainWindow/y", 20);
        var other = Qt.createComponent("qrc:/MainWindow.qml").createObject(null);
        compare(other.width, 1024);
        compare(other.height, 700);
        compare(other.x, 10);
        other.destroy();
        settings.clear();
        other = Qt.createComponent("qrc:/MainWindow.qml").createObject(null);
        compare(other.width, 800, "defaults without a stored layout");
        compare(other.height, 600);
        compare(other.x, 50);
        other.destroy();
    }

    function test_messages() {
        var card = window.spawnMessage("warning", "TITLE", "text", "Auto", -1);
        verify(card);
        compare(card.iconName, "warning");
        compare(card.colours.text, "#e65100");
        var timed = window.spawnMessage("error", "E", "gone soon", "Auto", 50);
        compare(timed.iconName, "error");
        var stays = card;
        wait(300);
        verify(stays.visible, "a card with time -1 stays");
        stays.close();
    }

    function test_ejectView() {
        var socket = window.registerNewView("MainWindow", "", [], "", "Moving");
        var child = window.ejectView("MainWindow", socket.uuid, Qt.point(60, 70));
        verify(child);
        compare(window.frame.leftBar.viewsModel.count, 0);
        compare(child.frame.leftBar.viewsModel.get(0).viewTitle, "View");
        compare(child.frame.viewStack.currentView, socket);
        compare(socket.topBar, child.frame.topBar);
        compare(child.x, 60);
        child.close();
        verify(window.childWindows[child.windowID] === undefined);
        verify(window.dictView[socket.uuid] === undefined);
    }

    function entryItem(uuid) {
        return findChild(window.frame.leftBar, "leftBarEntry_" + uuid);
    }

    function test_renameIsLimitedTo12Characters() {
        var socket = window.registerNewView("MainWindow");
        var entry = null;
        tryVerify(function() { entry = entryItem(socket.uuid); return entry !== null && entry.width > 0; });
        window.requestActivate();
        tryVerify(function() { return window.active; });
        mouseDoubleClickSequence(entry, 40, entry.height / 2);
        keySequence(StandardKey.SelectAll);
        var text = "ABCDEFGHIJKLMNOP";
        for (var i = 0; i < text.length; ++i)
            keyClick(text.charAt(i));
        keyClick(Qt.Key_Return);
        compare(window.frame.leftBar.viewsModel.get(0).viewTitle, "ABCDEFGHIJKL");
        compare(socket.topBarTitle, "ABCDEFGHIJKL", "the top bar takes the new title too");
    }

    function test_reorderByDragging() {
        var first = window.registerNewView("MainWindow");
        window.registerNewView("MainWindow");
        var third = window.registerNewView("MainWindow");
        var entry = null;
        tryVerify(function() { entry = entryItem(first.uuid); return entry !== null && entry.height > 0; });
        // The rows are stacked once the column has laid them out.
        tryVerify(function() { return entryItem(third.uuid).y >= 2 * entry.height; });
        var step = entry.height;
        mousePress(entry, 40, step / 2);
        for (var y = 1; y <= 2 * step; y += 8)
            mouseMove(entry, 40, step / 2 + y, -1, Qt.LeftButton);
        mouseMove(entry, 40, step / 2 + 2 * step, -1, Qt.LeftButton);
        mouseRelease(entry, 40, step / 2 + 2 * step);
        compare(viewTitles(), ["SubView 1", "SubView 2", "SubView"]);
        compare(window.frame.leftBar.viewsModel.get(2).viewUUID, first.uuid);
        compare(window.frame.leftBar.viewsModel.get(1).viewUUID, third.uuid);
    }

    // Maximized and full screen come back as they were; anything else opens windowed.
    function test_savedVisibilityIsRestored() {
        var cases = [[Window.Maximized, Window.Maximized], [Window.FullScreen, Window.FullScreen],
                     [Window.Minimized, Window.Windowed], [Window.Hidden, Window.Windowed],
                     [Window.AutomaticVisibility, Window.Windowed], [Window.Windowed, Window.Windowed]];
        for (var i = 0; i < cases.length; ++i) {
            settings.setValue("mainWindow/visibility", cases[i][0]);
            var other = Qt.createComponent("qrc:/MainWindow.qml").createObject(null);
            compare(other.restoredVisibility, cases[i][1], "stored visibility " + cases[i][0]);
            other.destroy();
        }
        settings.setValue("mainWindow/visibility", Window.Maximized);
        var shown = Qt.createComponent("qrc:/MainWindow.qml").createObject(null);
        shown.showRestored();
        tryCompare(shown, "visibility", Window.Maximized);
        shown.destroy();
    }

    function test_visibilityIsSaved() {
        window.showMaximized();
        tryCompare(window, "visibility", Window.Maximized);
        window.close();
        compare(settings.intValue("mainWindow/visibility"), Window.Maximized);
        settings.clear();
        window.showNormal();
        tryCompare(window, "visibility", Window.Windowed);
        window.close();
        compare(settings.intValue("mainWindow/visibility"), Window.Windowed);
    }
}
