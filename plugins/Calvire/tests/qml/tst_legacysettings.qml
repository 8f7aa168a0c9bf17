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
        topBar.btn2Fired();
        compare(view.getExistingChartViews().length, 2, "the top bar opens a view of all histograms");
    }
}
