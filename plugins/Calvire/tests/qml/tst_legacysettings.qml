import QtQuick 2.15
import QtQuick.Window 2.15
import QtTest 1.2
import "fakes"
import "fakes/files.js" as Files

TestCase {
    id: test
    name: "OldHistogramSettingsView"
    when: windowShown
    width: 1000
    height: 700

    property var view: null
    property var hists: []

    Component { id: histComponent; FakeOldHistogram {} }
    Window { id: host; width: 1000; height: 700; visible: true }
    FakeMainWindow { id: shell }
    QtObject {
        id: topBar
        signal btn0Fired()
        signal btn1Fired()
        signal btn2Fired()
    }

    function createView(count) {
        hists = [];
        for (var i = 0; i < count; ++i)
            hists.push(histComponent.createObject(test, { name: "Histogram " + i }));
        var component = Qt.createComponent("qrc:/plugin/oldhistogrammermodule/qml/settings/OldHistogramSettingsView.qml");
        compare(component.status, Component.Ready, component.errorString());
        view = component.createObject(host.contentItem, { width: 1000, height: 700, tdcModelData: hists,
                                                          mainWindow: shell, topWindowBar: topBar });
        verify(view);
        return view;
    }

    function cleanup() {
        if (view)
            view.destroy();
        view = null;
        for (var k in shell.dictView)
            shell.dictView[k].destroy();
        shell.dictView = {};
        shell.messages = [];
        Files.reset();
        wait(0);
    }

    function test_saveWritesEveryHistogramUnderTheJsonName() {
        createView(2);
        hists[1].binWidth = 4e-11;
        topBar.btn1Fired();
        verify(view.saveDialog.opened || view.saveDialog.visible, "the save button opens the save dialog");
        view.saveDialog.close();
        verify(view.saveParameters("/data", "params"));
        var saved = JSON.parse(Files.store["/data/params.json"]);
        compare(saved.length, 2);
        compare(saved[1].name, "Histogram 1");
        compare(saved[1].binWidth, 4e-11);
        Files.readOnly["/ro/x.json"] = true;
        verify(!view.saveParameters("/ro", "x."));
        compare(shell.lastMessage().title, "ERROR");
        compare(shell.lastMessage().text, "Can not save to file /ro/x.json");
    }

    function test_loadAppliesEntriesInFileOrderAndWarnsOnCounts() {
        createView(2);
        Files.store["/p/one.json"] = JSON.stringify([{ name: "Start", refPolarity: 2, refCH: 0, measPolarity: 2, measCH: 3,
                                                       windowFSR: 2e-8, binWidth: 2e-11, timeOffset: 3e-9, bitTrunc: 1 }]);
        hists[0].writes = [];
        verify(view.loadParameters("/p/one.json"));
        compare(hists[0].name, "Start");
        compare([hists[0].refCH, hists[0].refPolarity, hists[0].measCH, hists[0].windowFSR, hists[0].binWidth,
                 hists[0].timeOffset, hists[0].bitTrunc], [0, 2, 3, 2e-8, 2e-11, 3e-9, 1]);
        compare(hists[0].writes, ["refPolarity", "refCH", "measPolarity", "measCH", "windowFSR", "binWidth",
                                  "timeOffset", "bitTrunc"], "file order: the range before the bin width");
        compare(hists[1].name, "Histogram 1", "the second is left alone");
        compare(shell.lastMessage().title, "WARNING");
        compare(shell.lastMessage().text, "File contains less histograms; loading only theese");

        Files.store["/p/three.json"] = JSON.stringify([{ name: "A" }, { name: "B" }, { name: "C" }]);
        verify(view.loadParameters("/p/three.json"));
        compare([hists[0].name, hists[1].name], ["A", "B"]);
        compare(shell.lastMessage().text, "File contains more histograms; ignoring the latters");
    }

    function test_badFilesLoadNothing() {
        createView(1);
        verify(!view.loadParameters("/missing.json"));
        compare(shell.lastMessage().text, "Can not open file /missing.json");
        Files.store["/bad.json"] = "[{\"name\": \"x\", \"binWidth\": \"wide\"}]";
        verify(!view.loadParameters("/bad.json"));
        compare(shell.lastMessage().title, "ERROR");
        verify(shell.lastMessage().text.indexOf("Can not parse file /bad.json") === 0, shell.lastMessage().text);
        compare(hists[0].name, "Histogram 0", "nothing half-loaded");
    }

    function test_loadIsRefusedInTimeTriggerMode() {
        createView(2);
        hists[1].isTimeTrigActive = true;
        topBar.btn0Fired();
        verify(!view.loadDialog.visible);
        compare(shell.lastMessage().text, "Some Histogrammers in Time Trigger mode: can not edit parameters");
        hists[1].isTimeTrigActive = false;
        verify(view.openLoadDialog());
        view.loadDialog.close();
    }

    function test_copyDialogCopiesTickedGroupsAndClosesAfterwards() {
        createView(3);
        hists[0].binWidth = 8e-11;
        hists[0].timeOffset = 2e-9;
        hists[0].setMeasCH(3, 2);
        hists[2].isTimeTrigActive = true;
        var dialog = view.copyDialog;
        view.openCopyDialog(hists[0]);
        compare(dialog.dialogTitle, "Copy parameters from Histogram 0");
        dialog.setGroup("width", true);
        dialog.setGroup("meas", true);
        verify(!dialog.allGroups);
        dialog.setTarget(hists[1], true);
        dialog.setTarget(hists[2], true);
        dialog.copyRequested(dialog.source, dialog.targets, dialog.groups);
        compare([hists[1].binWidth, hists[1].measCH, hists[1].measPolarity, hists[1].timeOffset], [8e-11, 3, 2, 0]);
        compare(hists[2].binWidth, 1e-11, "time-trigger mode is not edited");
        tryVerify(function() { return !dialog.visible; }, 2000, "the dialog closes itself");
        dialog.setAllGroups(true);
        verify(dialog.allGroups);
    }

    function test_chartViewsGetTheChosenHistograms() {
        createView(3);
        var uuid = view.spawnChartView([0, 2]);
        verify(uuid !== "");
        var chart = shell.dictView[uuid].item;
        compare(chart.histModels, [hists[0], hists[2]]);
        compare(view.spawnChartView([1], uuid), uuid, "an existing view takes more");
        compare(chart.histModels.length, 3);
        verify(view.histogramInChartView(hists[1], uuid));
        compare(view.getExistingChartViews().length, 1);
        compare(view.spawnChartView([0]) !== uuid, true, "no UUID: a new view");
        compare(view.getExistingChartViews().length, 2);
    }

    function test_otherPluginsChartViewsAreLeftAlone() {
        createView(1);
        var other = Qt.createQmlObject('import QtQuick 2.15; Item { property string uuid: "_other"; property string topBarTitle: "ChartView";'
                                       + ' property string viewType: "ChartView";'
                                       + ' property var item: Item { objectName: "histogrammerView"; property var histModels: [] } }', test);
        shell.dictView["_other"] = other;
        compare(view.getExistingChartViews().length, 0, "the other histogram plugin's chart view is not offered");
        compare(view.spawnChartView([0], "_other"), "", "nor given a legacy histogram");
        compare(other.item.histModels.length, 0);
        verify(!view.histogramInChartView(hists[0], "_other"));
    }

    function row(i) {
        var found = null;
        tryVerify(function() { found = findChild(view, (view.listMode ? "legacyPage" : "legacyRow") + i); return found !== null; },
                  2000, "controls of histogram " + i);
        return found;
    }

    function test_tableAndSwipeListSwitchFromTheTopBar() {
        createView(2);
        var table = findChild(view, "legacyTable");
        var pages = findChild(view, "legacySwipeList");
        verify(table.visible && !pages.visible, "the table first");
        compare(view.modelIcon[2].tooltip, "List view");
        compare(view.modelIcon[2].icon, "list");
        topBar.btn2Fired();
        verify(view.listMode);
        tryVerify(function() { return pages.visible && !table.visible; });
        compare(view.modelIcon[2].tooltip, "Grid view");
        compare(view.modelIcon[2].icon, "grid");
        compare(row(1).hist, hists[1], "one page per histogram");
        verify(!findChild(row(1), "selectBox").visible, "pages have no selection box");
        settings.clear();
        view.saveSettings();
        view.listMode = false;
        view.loadSettings();
        verify(view.listMode, "the layout is kept with the view's settings");
        topBar.btn2Fired();
        verify(!view.listMode);
    }

    function picoseconds(seconds) { return Math.round(seconds * 1e12); }

    function test_editsOfATickedRowReachEveryTickedRow() {
        createView(4);
        hists[3].isTimeTrigActive = true;
        findChild(row(0), "selectBox").toggle();
        findChild(row(0), "selectBox").toggled();
        view.setSelected(hists[1], true);
        view.setSelected(hists[3], true);
        compare(view.selection, [hists[0], hists[1], hists[3]]);

        var field = findChild(row(0), "binWidthField");
        field.text = "250 ps";
        field.editingFinished();
        compare([hists[0].binWidth, hists[1].binWidth, hists[2].binWidth, hists[3].binWidth].map(picoseconds), [250, 250, 10, 10],
                "every ticked row but the one held by a time-trigger run");
        var menu = findChild(row(1), "measMenu");
        menu.activated(3);
        compare([hists[0].measCH, hists[0].measPolarity, hists[1].measCH, hists[1].measPolarity, hists[2].measCH],
                [2, 2, 2, 2, 2]);
        compare(hists[2].calls.length, 0);
        field = findChild(row(1), "offsetField");
        field.text = "-1 ns";
        field.editingFinished();
        compare([hists[0].timeOffset, hists[1].timeOffset], [0, 0], "a negative offset is refused");

        // An unticked row edits itself alone.
        field = findChild(row(2), "fsrField");
        field.text = "20 ns";
        field.editingFinished();
        compare([hists[0].windowFSR, hists[2].windowFSR].map(picoseconds), [10000, 20000]);
        view.applyEdit(hists[2], function(h) { h.bitTrunc = 3; });
        compare([hists[0].bitTrunc, hists[2].bitTrunc], [0, 3]);

        // The force-push period: whole seconds from 1, to every ticked row.
        var period = findChild(row(0), "forcePushPeriod");
        period.text = "2";
        period.editingFinished();
        compare([hists[0].refreshRate, hists[1].refreshRate, hists[2].refreshRate], [2, 2, 5]);
        period.text = "0";
        period.editingFinished();
        compare([hists[0].refreshRate, period.text], [2, "2"], "0 s is refused and the field shows the period again");
        var force = findChild(row(1), "forcePushSwitch");
        force.toggle();
        force.toggled();
        compare([hists[0].forceAutopush, hists[1].forceAutopush, hists[2].forceAutopush], [false, false, true]);

        findChild(view, "selectAllBox").toggle();
        findChild(view, "selectAllBox").toggled();
        compare(view.selection.length, 4, "the header box ticks every row");
        findChild(row(3), "resetButton").clicked();
        compare(hists[3].calls.indexOf("resetBtnFired"), -1, "locked");
        verify(!findChild(row(3), "resetButton").enabled);
        findChild(row(2), "resetButton").clicked();
        compare([0, 1, 2].map(function(i) { return hists[i].calls.indexOf("resetBtnFired") >= 0; }), [true, true, true]);
        findChild(view, "selectAllBox").toggle();
        findChild(view, "selectAllBox").toggled();
        compare(view.selection, []);
    }

    function test_indicatorShowsHistogramsActiveInAChartView() {
        createView(2);
        hists[0].isActive = true;
        hists[1].isActive = true;
        var dot0 = findChild(row(0), "chartIndicator");
        var dot1 = findChild(row(1), "chartIndicator");
        verify(!dot0.visible && !dot1.visible, "no chart view yet");
        view.spawnChartView([0]);
        tryVerify(function() { return dot0.visible; }, 2000, "shown in a chart view and running");
        verify(!dot1.visible, "the other is in no chart view");
        hists[0].isTimeTrigActive = true;
        verify(!dot0.visible, "not while a time-trigger run holds it");
        hists[0].isTimeTrigActive = false;
        hists[0].isActive = false;
        verify(!dot0.visible, "not while it is off");
        hists[0].isActive = true;
        verify(dot0.visible);
        for (var k in shell.dictView)
            shell.dictView[k].item.removeHistogramModel(hists[0]);
        tryVerify(function() { return !dot0.visible; }, 2000, "the view let it go: the indicator looks again");
    }

    function test_miniChartDecimatesOnlyFewBins() {
        hists = [];
        var few = histComponent.createObject(test, { name: "Few", bin_addr_width: 6 });
        var many = histComponent.createObject(test, { name: "Many", bin_addr_width: 12 });
        // The wrapper starts with an empty block of all its bins.
        few.dataContainer.data = new Array(64).fill(0);
        var component = Qt.createComponent("qrc:/plugin/oldhistogrammermodule/qml/settings/OldHistogramSettingsView.qml");
        view = component.createObject(host.contentItem, { width: 1000, height: 700, tdcModelData: [few, many],
                                                          mainWindow: shell, topWindowBar: topBar });
        hists = [few, many];
        var chart0 = findChild(row(0), "miniChart");
        var chart1 = findChild(row(1), "miniChart");
        compare(chart0.points, 64);
        compare(chart0.decimator.numPoint, 64, "64 bins: one point per bin through the decimator");
        compare(chart1.points, -1, "4096 bins: drawn as they are");
        var counts = new Array(64).fill(0);
        counts[5] = 7;
        few.dataContainer.data = counts;
        compare(chart0.decimator.data[5], 7, "the decimator follows the histogram's counts");
        compare(findChild(row(1), "binsLabel").text, "2<sup>12</sup> bins");
    }
}
