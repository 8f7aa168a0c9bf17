import QtQuick 2.15
import QtQuick.Window 2.15
import QtTest 1.2
import "fakes"
import "fakes/files.js" as Files

TestCase {
    id: test
    name: "HistogrammerView"
    when: windowShown
    width: 1200
    height: 800

    property var view: null
    property var hists: []

    Component { id: histComponent; FakeHistogram {} }
    Window { id: host; width: 1200; height: 800; visible: true }
    FakeMainWindow { id: shell }
    FakeSettings { id: store }
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
        var component = Qt.createComponent("qrc:/plugin/histogrammermodule/qml/chart/HistogrammerView.qml");
        compare(component.status, Component.Ready, component.errorString());
        view = component.createObject(host.contentItem, { width: 1200, height: 800, tdcModelData: hists,
                                                          mainWindow: shell, topWindowBar: topBar });
        verify(view);
        return view;
    }

    function cleanup() {
        if (view)
            view.destroy();
        view = null;
        shell.messages = [];
        fileUtils.folders = [];
        fileUtils.opened = [];
        Files.reset();
        wait(0);
    }

    function test_addTwiceShowsInfo() {
        createView(2);
        verify(view.addHistogramModel(hists[0]));
        verify(!view.addHistogramModel(hists[0]));
        compare(shell.lastMessage().title, "INFO");
        compare(shell.lastMessage().text, "Histogrammer already inserted.");
        compare(hists[0].numGroups, 1);
        compare(view.histModels.length, 1);
    }

    function test_coloursAndSmoothing() {
        createView(3);
        hists[0].numBins = 2000;
        hists[1].numBins = 80;
        view.addHistogramModel(hists[0]);
        view.addHistogramModel(hists[1], "#123456");
        view.addHistogramModel(hists[2]);
        compare(view.colors, ['#2f7ed8', "#123456", '#8bbc21'], "given, else the palette by count");
        compare(String(view.mainBars[1].plotter.color), "#123456");
        compare(view.ttBars[0].averageDepth, 16);
        compare(view.ttBars[1].averageDepth, 2);
        hists[1].numBins = 600;
        compare(view.ttBars[1].averageDepth, 8, "the depth follows the bin count");
        verify(!view.mainBars[0].smoothed, "the main chart shows the counts as they are");
        view.setColor(hists[2], '#910000');
        compare(String(view.ttBars[2].plotter.color), '#910000');
    }

    function test_removeAndDestroyReleaseGroups() {
        createView(2);
        view.addHistogramModel(hists[0]);
        view.addHistogramModel(hists[1]);
        compare(hists[1].numGroups, 1);
        verify(view.removeHistogramModel(hists[0]));
        compare(hists[0].numGroups, 0);
        compare(view.histModels, [hists[1]]);
        compare(view.mainBars.length, 1);
        view.destroy();
        view = null;
        wait(0);
        compare(hists[1].numGroups, 0, "a closed view no longer counts as showing the histogram");
    }

    function test_logScaleUsesLogContainer() {
        createView(1);
        view.addHistogramModel(hists[0]);
        compare(view.mainBars[0].source, hists[0].dataContainer);
        view.plot.isYAxisLog = true;
        compare(view.mainBars[0].source, hists[0].logDataContainer);
        compare(view.ttBars[0].source, hists[0].logDataContainer);
    }

    function test_zoomReachesWrappers() {
        createView(2);
        view.addHistogramModel(hists[0]);
        view.addHistogramModel(hists[1]);
        // A chart that is still laying itself out may put the zoom back to the whole range (a
        // loaded machine puts that off): zoom again until the chart keeps it, and check that
        // the kept zoom reaches every wrapper.
        var area = view.plot.refChartArea;
        function isTheZoom(r) { return Math.abs(r.x - 1e-9) <= 1e-21 && Math.abs(r.width - 2e-9) <= 1e-21; }
        tryVerify(function() {
            if (!isTheZoom(area.zoomRect))
                area.zoomRect = Qt.rect(1e-9, 0, 2e-9, 100);
            return isTheZoom(hists[0].zoomRect) && isTheZoom(hists[1].zoomRect);
        }, 5000, "the zoom reaches every wrapper");
    }

    function test_offsetAndAlign() {
        createView(1);
        view.addHistogramModel(hists[0]);
        view.setOffset(hists[0], 1e-9);
        compare(hists[0].xOffset, 1e-9);
        compare(view.mainBars[0].plotter.xOffset, 1e-9);
        hists[0].peak = 7e-9;
        verify(view.align(hists[0]));
        compare(hists[0].callsMatching("setTimeOffset"), ["setTimeOffset(" + (7e-9 - 5e-9) + ")"]);
        fuzzyCompare(hists[0].leftBound + hists[0].windowFSR / 2, 7e-9, 1e-20, "the peak sits in the middle");
        hists[0].peak = NaN;
        verify(!view.align(hists[0]));
        compare(shell.lastMessage().title, "ALIGN");
    }

    function test_parameterTableColumns() {
        createView(1);
        view.addHistogramModel(hists[0]);
        var card = findChild(view, "histogramCard0");
        verify(card);
        compare(findChild(card, "cell_PEAK").text, "4.000 ns");
        compare(findChild(card, "cell_PEAK COUNTS").text, "321");
        compare(findChild(card, "cell_RATE").text, "12.50 kHz");
        view.addColumn("TIME");
        tryVerify(function() { return findChild(card, "cell_TIME") !== null; });
        compare(findChild(card, "cell_TIME").text, "1s");
        view.removeColumn("PEAK");
        tryVerify(function() { return findChild(card, "cell_PEAK") === null; });
        hists[0].fwhm = NaN;
        compare(findChild(card, "cell_FWHM").text, "--");
        view.ttModel.convFactor = 1e3;
        view.ttModel.unit = "m";
        compare(findChild(card, "cell_MEAN").text, "5.000 um", "the unit formatter follows the model");
        // Positions take the offset, widths only the factor.
        view.ttModel.convOffset = 2e-6;
        compare(findChild(card, "cell_MEAN").text, "7.000 um");
        compare(findChild(card, "cell_STD").text, "100.000 nm", "a spread is not moved by the offset");
        view.ttModel.convFactor = -1e3;
        compare(findChild(card, "cell_STD").text, "100.000 nm", "nor turned negative");
        view.ttModel.convFactor = 1;
        view.ttModel.convOffset = 0;
        view.ttModel.unit = "s";
    }

    function test_exportWritesIntoNewFolders() {
        createView(2);
        view.addHistogramModel(hists[0]);
        view.addHistogramModel(hists[1]);
        var dir = view.exportChart("/out", "Chart", [".csv"], false, false);
        compare(dir, "/out/Chart");
        compare(hists[1].exported, ["whole:/out/Chart/Chart_Histogram 1.csv"]);
        dir = view.exportChart("/out", "Chart", [".csv"], true, true);
        compare(dir, "/out/Chart_1", "the next free folder");
        compare(hists[0].exported[1], "visible:/out/Chart_1/Chart_Histogram 0.csv");
        compare(fileUtils.opened, ["/out/Chart_1"]);
        compare(shell.messages.length, 0);
        hists[1].visibleEmpty = true;
        view.exportChart("/out", "Chart", [".csv"], true, false);
        compare(shell.lastMessage().text, "Nothing written for Histogram 1: no bins in the visible range");
        fileUtils.folders = [];
        compare(view.exportChart("", "Chart", [".csv"], false, false), "", "no folder, no files");
        compare(shell.lastMessage().title, "ERROR");
    }

    function test_topBar() {
        createView(1);
        view.addHistogramModel(hists[0]);
        topBar.btn1Fired();
        compare(hists[0].callsMatching("resetBtnFired").length, 1);
        hists[0].isTimeTrigActive = true;
        topBar.btn1Fired();
        compare(hists[0].callsMatching("resetBtnFired").length, 1, "no cleaning during time trigger");
        hists[0].isTimeTrigActive = false;
        topBar.btn2Fired();
        compare(view.panelIndex, 1);
        compare(view.modelIcon[0].tooltip, "Chart View");
        topBar.btn0Fired();
        compare(view.panelIndex, 0);
        view.ttModel.enableTimeTrigger = true;
        verify(!view.openExport());
        compare(shell.lastMessage().title, "TIME TRIGGER RUNNNING");
        compare(shell.lastMessage().text, "It's not possible to save ChartView while Time Trigger is running");
    }

    function test_timeTriggerStart() {
        createView(2);
        var panel = view.ttPanel;
        verify(!panel.start());
        compare(shell.lastMessage().text, "No histogram added for Time Trigger.");
        view.addHistogramModel(hists[0]);
        view.addHistogramModel(hists[1]);
        hists[1].isTimeTrigActive = true;
        verify(!panel.start());
        compare(shell.lastMessage().text, "One or more histogrammers already in Time Trgger mode.");
        hists[1].isTimeTrigActive = false;

        panel.saveFile.folderURL = "file:///runs";
        panel.saveFile.fileName = "run";
        fileUtils.folders = ["/runs/run"];
        panel.durationMode = "interval";
        panel.intervalText = "1s";
        panel.refreshPeriod = 50;
        compare(panel.chosenRepetition, 20);
        verify(panel.start());
        var model = view.ttModel;
        compare(model.subFolder, "run_1");
        compare(model.filePrefix, "run");
        compare(model.extension, [".csv"]);
        compare(model.histModels, [hists[0], hists[1]]);
        compare(model.repetition, 20);
        verify(panel.running);
        compare(findChild(panel, "startButton").text, "STOP");
        verify(hists[0].isTimeTrigActive);
        panel.stop();
        verify(!model.enableTimeTrigger);
        verify(!hists[0].isTimeTrigActive);
    }

    function test_timeTriggerOptions() {
        createView(1);
        var panel = view.ttPanel;
        compare(findChild(panel, "repetitionField").text, "inf");
        panel.setRepetition(7);
        compare(panel.durationMode, "repetitions");
        compare(findChild(panel, "repetitionField").text, "7");
        panel.setRepetition(0);
        compare(panel.durationMode, "continuous");
        panel.setFormat(".csv", true);
        view.ttModel.singleCSV = true;
        panel.setFormat(".csv", false);
        verify(!view.ttModel.singleCSV, "single CSV goes with .csv");
        panel.setFormat(".png", true);
        panel.refreshPeriod = 40;
        verify(panel.rateWarning);
        panel.refreshPeriod = 60;
        verify(!panel.rateWarning);
        panel.setFormat(".png", false);
        panel.setFormat(".jpeg", true);
        panel.refreshPeriod = 19;
        verify(panel.rateWarning);
    }

    function test_timeTriggerImageCompletes() {
        createView(1);
        view.addHistogramModel(hists[0]);
        view.panelIndex = 1;
        view.ttModel.exportHistogram("/tmp/brenmor_qml_tt_window.png");
        tryVerify(function() { return view.ttModel.completed.length === 1; }, 10000);
        compare(view.ttModel.completed[0], "/tmp/brenmor_qml_tt_window.png");
    }

    function test_settingsRoundTrip() {
        createView(3);
        view.addHistogramModel(hists[2], "#c42525");
        view.addHistogramModel(hists[0]);
        view.plot.isYAxisLog = true;
        view.columns = ["EVENTS", "PEAK"];
        view.ttPanel.refreshPeriod = 75;
        view.ttPanel.setRepetition(12);
        store.clear();
        var saved = settings;
        view.saveSettings();
        compare(settings.value("modelArray/1/modelDataIndex"), 2);
        compare(settings.value("modelArray/1/chartColor"), "#c42525");
        compare(settings.value("histTimeTriggerRefreshPeriod"), 75);
        compare(settings.value("histTimeTriggerRepetition"), 12);
        view.destroy();
        wait(0);
        var models = hists;
        createView(0);
        view.tdcModelData = models;
        hists = models;
        view.loadSettings();
        compare(view.histModels, [hists[2], hists[0]]);
        compare(view.colors[0], "#c42525");
        verify(view.plot.isYAxisLog);
        compare(view.columns, ["EVENTS", "PEAK"]);
        compare(view.ttPanel.refreshPeriod, 75);
        compare(view.ttPanel.repetitions, 12);
        settings.clear();
    }

    function test_axisUnits() {
        createView(1);
        compare(view.plot.xAxis.label(1.5e-9), "1.50 ns", "seconds by default");
        var factor = findChild(view, "axisFactorFieldText");
        var unit = findChild(view, "axisUnitFieldText");
        var offset = findChild(view, "axisOffsetFieldText");
        verify(factor && unit && offset);
        factor.text = "0";
        factor.accepted();
        compare(view.ttModel.convFactor, 1, "a factor of 0 is refused");
        compare(factor.error, "A number other than 0, e.g., 1e9 or 0.5");
        factor.text = "1e9";
        factor.accepted();
        compare(view.ttModel.convFactor, 1e9);
        compare(factor.error, "");
        compare(factor.text, "1e+9", "shown short");
        unit.text = "";
        unit.accepted();
        compare(view.ttModel.unit, "s");
        unit.text = "m";
        unit.accepted();
        compare(view.ttModel.unit, "m");
        offset.text = "-1.5 m";
        offset.accepted();
        compare(view.ttModel.convOffset, 0);
        offset.text = "-1.5";
        offset.accepted();
        compare(view.ttModel.convOffset, -1.5);
        // 3 ns × 1e9 − 1.5 = 1.5 m; 4 µs × 1e9 − 1.5 = 3998.5 m, which takes the K prefix.
        compare(view.plot.xAxis.label(3e-9), "1.50 m");
        compare(view.plot.xAxis.label(4e-6), "4.00 Km");
        compare(view.axisText(3e-9, 1), "1.5 m");

        store.clear();
        view.saveSettings();
        compare(settings.value("axisUnit"), "m");
        compare(Number(settings.value("axisFactor")), 1e9);
        view.destroy();
        wait(0);
        createView(0);
        settings.setValue("axisFactor", "garbage");
        view.loadSettings();
        compare(view.ttModel.unit, "m");
        compare(view.ttModel.convFactor, 1, "a stored value is checked like a typed one");
        compare(view.ttModel.convOffset, -1.5);
        settings.clear();
    }
}
