import QtQuick 2.15
import QtQuick.Window 2.15
import QtTest 1.2
import TDCFrontend 1.0
import "fakes"
import "fakes/files.js" as Files

TestCase {
    id: test
    name: "HistogramSettingsView"
    when: windowShown
    width: 1400
    height: 700

    property var view: null
    property var hists: []

    Component { id: histComponent; FakeHistogram {} }
    Window { id: host; width: 1400; height: 700; visible: true }
    FakeMainWindow { id: shell }
    QtObject {
        id: topBar
        signal btn0Fired()
        signal btn1Fired()
        signal btn2Fired()
    }

    function makeHists(count) {
        var list = [];
        for (var i = 0; i < count; ++i)
            list.push(histComponent.createObject(test, { name: "Histogram " + i, modelUUID: "{h" + i + "}" }));
        return list;
    }

    function createView(count) {
        hists = makeHists(count);
        var component = Qt.createComponent("qrc:/plugin/histogrammermodule/qml/settings/HistogramSettingsView.qml");
        compare(component.status, Component.Ready, component.errorString());
        view = component.createObject(host.contentItem, { width: 1400, height: 700, tdcModelData: hists,
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

    function row(i) {
        tryVerify(function() { return findChild(view, "histogramRow" + i) !== null; }, 2000, "row " + i);
        return findChild(view, "histogramRow" + i);
    }

    function test_refMenuOffersSyncAndMapsIndexes() {
        createView(1);
        var menu = findChild(row(0), "refMenu");
        compare(menu.count, 7, "4 channels: SYNC R and CH1..CH3 R/F");
        compare(menu.currentIndex, 1, "CH1 R");
        menu.activated(4);
        compare(hists[0].callsMatching("setRefCH"), ["setRefCH(2," + EEdge.FALLING + ")"]);
        compare(menu.currentIndex, 4, "the menu follows the wrapper");
        var meas = findChild(row(0), "measMenu");
        compare(meas.count, 6, "no sync item for the measurement channel");
        compare(meas.currentIndex, 2, "CH2 R");
        meas.activated(2);
        compare(hists[0].callsMatching("setMeasCH").length, 0, "the current pair is not written again");
    }

    function test_textFields() {
        createView(1);
        var width = findChild(row(0), "binWidthField");
        compare(width.text, "10.00 ps");
        width.text = "250 ps";
        width.accepted();
        compare(hists[0].binWidth, 2.5e-10);
        compare(width.text, "250.00 ps");
        width.text = "-1 ns";
        width.accepted();
        compare(hists[0].binWidth, 2.5e-10, "a negative width is refused");
        verify(width.error !== "");
        compare(width.text, "-1 ns", "the refused text stays for the user to mend");

        var left = findChild(row(0), "leftField");
        left.text = "20 ns";
        left.accepted();
        compare(hists[0].leftBound, 0, "left bound above the right one is refused");
        left.text = "-2 ns";
        left.accepted();
        fuzzyCompare(hists[0].leftBound, -2e-9, 1e-21);

        var right = findChild(row(0), "rightField");
        right.text = "-5 ns";
        right.accepted();
        compare(hists[0].rightBound, 1e-8, "right bound below the left one is refused");

        var period = findChild(row(0), "periodField");
        compare(period.text, "0.05 s");
        period.text = "120 ms";
        period.accepted();
        compare(hists[0].refreshPeriod, 120);
        hists[0].calls = [];
        period.text = period.shownText;
        period.accepted();
        compare(hists[0].callsMatching("setrefreshPeriod").length, 0, "the shown text writes nothing");
    }

    function test_selectionEditing() {
        createView(3);
        view.setSelected(hists[0], true);
        view.setSelected(hists[2], true);
        hists[2].isTimeTrigActive = true;
        var width = findChild(row(0), "binWidthField");
        width.text = "40 ps";
        width.accepted();
        fuzzyCompare(hists[0].binWidth, 4e-11, 1e-24);
        compare(hists[1].binWidth, 1e-11, "not ticked");
        compare(hists[2].binWidth, 1e-11, "ticked but in time-trigger mode");
        hists[2].isTimeTrigActive = false;

        findChild(row(1), "binWidthField").text = "80 ps";
        findChild(row(1), "binWidthField").accepted();
        compare(hists[0].binWidth, 4e-11, "an edit of an unticked row stays in that row");

        view.swap(hists[2]);
        compare(hists[0].callsMatching("swapChannels").length, 1, "a swap on a ticked row swaps all ticked rows");
        compare(hists[1].callsMatching("swapChannels").length, 0);
        tryVerify(function() { return hists[0].callsMatching("resetIntegration").length === 1; }, 3000,
                  "integration restarts a second after the swap");
        compare(hists[2].callsMatching("resetIntegration").length, 1);
    }

    function test_accumulateAndMultiHitFollowTheSelection() {
        createView(3);
        view.setSelected(hists[0], true);
        view.setSelected(hists[1], true);
        var accumulate = findChild(row(0), "accumulateSwitch");
        verify(!accumulate.checked);
        mouseClick(accumulate);
        verify(hists[0].accumulate);
        verify(hists[1].accumulate, "ticked rows take the edit");
        verify(!hists[2].accumulate);
        verify(findChild(row(1), "accumulateSwitch").checked, "the switch shows the wrapper");
        var multi = findChild(row(2), "multiHitSwitch");
        mouseClick(multi);
        verify(hists[2].multiHit);
        verify(!hists[0].multiHit, "an unticked row edits itself only");
        hists[2].multiHit = false;
        verify(!multi.checked, "the switch follows the wrapper");
        hists[0].isTimeTrigActive = true;
        verify(!findChild(row(0), "accumulateSwitch").enabled);
        verify(!findChild(row(0), "multiHitSwitch").enabled);
        verify(!findChild(row(0), "nameField").enabled);
    }

    function test_rename() {
        createView(3);
        view.setSelected(hists[0], true);
        view.setSelected(hists[1], true);
        var field = findChild(row(1), "nameField");
        compare(field.text, "Histogram 1");
        field.text = "Histogram 0";
        field.accepted();
        compare(hists[1].name, "Histogram 1", "names stay apart");
        compare(field.error, "Another histogram has this name");
        field.text = "ch1/ch2";
        field.accepted();
        compare(hists[1].name, "Histogram 1", "a name is part of file names");
        verify(field.error !== "");
        keyClick(Qt.Key_Escape);
        field.text = "  Delay 1-2 ";
        field.accepted();
        compare(hists[1].name, "Delay 1-2");
        compare(field.error, "");
        compare(field.text, "Delay 1-2");
        compare(hists[0].name, "Histogram 0", "renaming is never a selection edit");
        compare(view.namesOtherThan(hists[0]), ["Delay 1-2", "Histogram 2"]);
    }

    function test_swapWithSyncReferenceKeepsCounts() {
        createView(1);
        hists[0].refCH = 0;
        compare(row(0).swapTooltip, "Sync can not be used as Meas Ch");
        view.swap(hists[0]);
        wait(1200);
        compare(hists[0].callsMatching("swapChannels").length, 0);
        compare(hists[0].callsMatching("resetIntegration").length, 0);
    }

    function test_timeTriggerLocksControls() {
        createView(1);
        hists[0].isTimeTrigActive = true;
        verify(!findChild(row(0), "leftField").enabled);
        verify(!findChild(row(0), "refMenu").enabled);
        verify(!findChild(row(0), "activeSwitch").enabled);
        compare(row(0).lockedReason, "Time Trigger ON: not editable");
        hists[0].isTimeTrigActive = false;
        hists[0].waitPause = 1;
        verify(!findChild(row(0), "activeSwitch").enabled, "the switch waits for the pause");
        verify(findChild(row(0), "leftField").enabled);
    }

    function test_chartIndicator() {
        createView(1);
        var indicator = findChild(row(0), "chartIndicator");
        verify(!indicator.visible);
        hists[0].numGroups = 1;
        hists[0].isActive = true;
        verify(indicator.visible);
        hists[0].isTimeTrigActive = true;
        verify(!indicator.visible);
    }

    function test_miniChartDrawsEveryBin() {
        createView(1);
        var chart = findChild(row(0), "miniChart");
        var data = [];
        for (var i = 0; i < 1000; ++i)
            data.push(i % 7);
        hists[0].numBins = 1000;
        hists[0].dataContainer.data = data;
        compare(chart.points, -1);
        compare(chart.plotter.data.length, 1000, "no decimation: every bin reaches the plotter");
        hists[0].numBins = 40;
        hists[0].dataContainer.data = data.slice(0, 40);
        compare(chart.points, 40);
        compare(chart.plotter.data.length, 40, "one point per bin below 100 bins");
        view.listMode = true;
        wait(50);
        tryCompare(chart, "source", null, 1000, "a hidden table's chart takes no data");
        view.listMode = false;
        tryCompare(chart, "source", hists[0].dataContainer, 1000);
    }

    function test_saveParameters() {
        createView(2);
        hists[1].leftBound = -1e-9;
        verify(view.saveParameters("/data", "a."));
        var text = Files.store["/data/a.json"];
        verify(text !== undefined, "a. is saved as a.json");
        var saved = JSON.parse(text);
        compare(saved.length, 2);
        compare(saved[1].name, "Histogram 1");
        compare(saved[1].leftBound, -1e-9);
        verify(view.saveParameters("/data", "b.json"));
        verify(Files.store["/data/b.json"] !== undefined);
        Files.readOnly["/ro/c.json"] = true;
        verify(!view.saveParameters("/ro", "c"));
        compare(shell.lastMessage().text, "Can not save to file /ro/c.json");
        compare(shell.lastMessage().title, "ERROR");
    }

    function test_loadParameters() {
        createView(2);
        Files.store["/p/one.json"] = JSON.stringify([{ name: "Start-Stop", refPolarity: 2, refCH: 3, measPolarity: 1,
                                                        measCH: 1, leftBound: -2e-9, rightBound: 3e-8,
                                                        binWidth: 2e-11, refreshPeriod: 100 }]);
        verify(view.loadParameters("/p/one.json"));
        compare(hists[0].name, "Start-Stop");
        compare([hists[0].refCH, hists[0].refPolarity, hists[0].measCH], [3, 2, 1]);
        compare(hists[0].binWidth, 2e-11);
        compare(hists[0].refreshPeriod, 100);
        compare(hists[0].edgesTrim, false, "trimming waits until the setters had their turn");
        compare(hists[1].name, "Histogram 1", "only the first histogram is loaded");
        compare(shell.lastMessage().text, "File contains less histograms; loading only theese");
        tryCompare(hists[0], "edgesTrim", true, 1000);

        Files.store["/p/three.json"] = JSON.stringify([{ name: "a" }, { name: "b" }, { name: "c" }]);
        verify(view.loadParameters("/p/three.json"));
        compare([hists[0].name, hists[1].name], ["a", "b"]);
        compare(shell.lastMessage().text, "File contains more histograms; ignoring the latters");
    }

    function test_loadRefusesBadFiles() {
        createView(1);
        verify(!view.loadParameters("/p/missing.json"));
        compare(shell.lastMessage().text, "Can not open file /p/missing.json");
        Files.store["/p/broken.json"] = "[{\"name\": \"x\", ";
        verify(!view.loadParameters("/p/broken.json"));
        compare(shell.lastMessage().text, "Can not parse file /p/broken.json");
        Files.store["/p/wrong.json"] = JSON.stringify([{ name: "y", binWidth: "10ps" }]);
        verify(!view.loadParameters("/p/wrong.json"));
        compare(shell.lastMessage().text, "Can not parse file /p/wrong.json");
        compare(hists[0].name, "Histogram 0", "nothing of a bad file is loaded");
        compare(hists[0].callsMatching("disableEdgesTrim").length, 0);

        hists[0].isTimeTrigActive = true;
        verify(!view.openLoadDialog());
        compare(shell.lastMessage().text, "Some Histogrammers in Time Trigger mode: can not edit parameters");
    }

    function test_copyParameters() {
        createView(3);
        hists[0].refCH = 3; hists[0].refPolarity = 2; hists[0].leftBound = -4e-9; hists[0].binWidth = 5e-11;
        hists[2].isTimeTrigActive = true;
        var copied = view.copyParameters(hists[0], [hists[0], hists[1], hists[2]],
                                         { ref: true, meas: false, left: true, right: false, width: true, period: false });
        compare(copied, 1, "neither the source nor a histogram in time-trigger mode");
        compare([hists[1].refCH, hists[1].refPolarity], [3, 2]);
        compare(hists[1].leftBound, -4e-9);
        compare(hists[1].binWidth, 5e-11);
        compare(hists[1].rightBound, 1e-8, "right bound not ticked");
        compare(hists[1].edgesTrim, false, "two bound groups: trimming off while they apply");
        tryCompare(hists[1], "edgesTrim", true, 1000);
        compare(hists[2].leftBound, 0);

        view.copyParameters(hists[0], [hists[1]], { ref: false, meas: false, left: false, right: false, width: true, period: false });
        compare(hists[1].callsMatching("disableEdgesTrim").length, 1, "one bound group keeps trimming on");
    }

    function test_chartViews() {
        createView(2);
        var uuid = view.spawnChartView([0, 1]);
        verify(uuid !== "");
        var chart = shell.dictView[uuid].item;
        compare(chart.histModels.length, 2);
        verify(view.histogramInChartView(hists[1], uuid));
        compare(view.getExistingChartViews(), [{ uuid: uuid, title: "ChartView" }]);
        // A chart view of the same view type from another plugin is not offered.
        var foreign = shell.registerNewView(shell.windowID, "", hists, Qt.resolvedUrl("fakes/ForeignChartView.qml"),
                                            "Other", "", "ViewSocket", "ChartView");
        verify(foreign);
        compare(view.getExistingChartViews(), [{ uuid: uuid, title: "ChartView" }]);
        verify(!view.histogramInChartView(hists[1], foreign.uuid));
        compare(view.spawnChartView([1], uuid), uuid, "an existing view is reused");
        compare(shell.lastMessage().text, "Histogrammer already inserted.");
        compare(hists[1].numGroups, 1);
    }

    function test_topBarAndShutdown() {
        createView(2);
        compare(view.modelIcon[2].tooltip, "List view");
        topBar.btn2Fired();
        verify(view.listMode);
        compare(view.modelIcon[2].tooltip, "Grid view");
        verify(findChild(view, "histogramPage0"));
        hists[0].isActive = true;
        hists[1].isActive = true;
        shell.turnOffTDCTasks();
        verify(!hists[0].isActive && !hists[1].isActive);
    }
}
