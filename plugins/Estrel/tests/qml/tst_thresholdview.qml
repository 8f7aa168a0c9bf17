import QtQuick 2.15
import QtQuick.Window 2.15
import QtTest 1.2
import "fakes"
import "qrc:/qml/mainWindow"
import "qrc:/plugin/estrel/voltage.js" as Voltage

TestCase {
    id: test
    name: "ThresholdView"
    when: windowShown
    width: 1100
    height: 700

    property var view: null
    property var model: null
    property var messages: []

    Component { id: modelComponent; FakeThresholdModel {} }
    Window { id: host; width: 1100; height: 700; visible: true }
    DataExchanger { id: exchanger }
    QtObject {
        id: fakeWindow
        signal turnOffTDCTasks()
        function spawnMessage(type, title, message, icon, time) {
            test.messages = test.messages.concat([[type, title, message, icon, time]]);
        }
    }
    QtObject {
        id: fakeTopBar
        signal btn0Fired()
        signal btn1Fired()
    }
    SignalSpy { id: requests; target: exchanger; signalName: "exchangeDataReq" }

    function makeModel(count) {
        var list = [];
        for (var i = 0; i < count; ++i)
            list.push(i === 0 ? channelFactory.make(0, true, 0.4, 0.4, 0.4)
                              : channelFactory.make(i, false, -0.2, 1.0, 0.1));
        model = modelComponent.createObject(test, { channels: list });
        return model;
    }

    function createView(count) {
        makeModel(count === undefined ? 9 : count);
        var component = Qt.createComponent("qrc:/plugin/estrel/ProgrammableThresholdView.qml");
        compare(component.status, Component.Ready, component.errorString());
        view = component.createObject(host.contentItem, { width: host.width, height: host.height, tdcModelData: [model],
                                                          dataExchanger: exchanger, mainWindow: fakeWindow,
                                                          topWindowBar: fakeTopBar });
        verify(view);
        return view;
    }

    function cleanup() {
        if (view)
            view.destroy();
        view = null;
        wait(0);
        messages = [];
        requests.clear();
    }

    function card(channel) { return findChild(view, "thresholdCard" + channel); }
    function row(channel) { return findChild(view, "thresholdRow" + channel); }

    function shot(item, name) {
        var image = grabImage(item);
        image.save(artifactDir + "/" + name + ".png");
    }

    function type(field, text) {
        field.forceActiveFocus();
        field.selectAll();
        field.text = text;
        field.editingFinished();
    }

    function test_voltageTexts_data() {
        return [
            { tag: "plain", text: "0.25", volts: 0.25 },
            { tag: "volts", text: " 0.25 V ", volts: 0.25 },
            { tag: "millivolts", text: "250mV", volts: 0.25 },
            { tag: "millivolts lower case", text: "-12 mv", volts: -0.012 },
            { tag: "exponent", text: "1e-1 V", volts: 0.1 },
            { tag: "leading point", text: ".5", volts: 0.5 },
            { tag: "kilovolts", text: "1 kV", volts: undefined },
            { tag: "capital MV", text: "1 MV", volts: undefined },
            { tag: "word", text: "abc", volts: undefined },
            { tag: "empty", text: "", volts: undefined },
            { tag: "two numbers", text: "1 2", volts: undefined }
        ];
    }

    function test_voltageTexts(data) {
        var volts = Voltage.parseVoltage(data.text);
        if (data.volts === undefined)
            compare(volts, undefined);
        else
            fuzzyCompare(volts, data.volts, 1e-12);
    }

    function test_gridCards() {
        createView();
        tryVerify(function() { return card(8) !== null; });
        // 1100 px hold three whole cells of 324 px.
        compare(findChild(view, "thresholdGrid").columnsFit, 3);
        compare(card(0).title, "SYNC");
        compare(card(3).title, "CH. 3");
        compare(card(3).width, 300);
        compare(card(3).height, 150);
        var syncSlider = findChild(card(0), "voltageSlider");
        verify(!syncSlider.enabled, "a fixed threshold is not moved");
        fuzzyCompare(syncSlider.from, -0.6, 1e-9);
        fuzzyCompare(syncSlider.to, 1.4, 1e-9);
        verify(!findChild(card(0), "selectedBox").enabled);
        var slider = findChild(card(3), "voltageSlider");
        verify(slider.enabled);
        compare(slider.from, -0.2);
        compare(slider.to, 1.0);
        compare(slider.stepSize, 0.01);
        compare(findChild(card(3), "voltageField").text, "0.100 V");

        model.channels[3].enabled = false;
        verify(!slider.enabled, "a switched-off channel's slider rests");
        model.channels[3].enabled = true;
        shot(view, "grid");
    }

    function test_textFieldCommits() {
        createView();
        tryVerify(function() { return card(2) !== null; });
        var field = findChild(card(2), "voltageField");
        type(field, "250 mV");
        compare(model.voltageCalls.length, 1);
        compare(model.voltageCalls[0][0], 2);
        fuzzyCompare(model.voltageCalls[0][1], 0.25, 1e-12);
        compare(field.text, "0.250 V");

        // Text that is no voltage is refused, said so, and the field shows the voltage again.
        type(field, "fast");
        compare(model.voltageCalls.length, 1);
        verify(field.refused);
        compare(field.text, "0.250 V");
        // Committing the shown text asks nothing of the model.
        type(field, "0.250 V");
        compare(model.voltageCalls.length, 1);
    }

    function test_anyChangeFlashes() {
        createView();
        tryVerify(function() { return card(5) !== null; });
        var back = findChild(card(5), "voltageFieldBackground");
        var resting = String(back.color);
        compare(resting, "#ffffff", "a new card does not flash");
        model.channels[5].voltage = 0.33;   // not through the field: the tuning run, say
        tryVerify(function() { return String(back.color) !== resting; }, 1000, "the field flashes");
        compare(findChild(card(5), "voltageField").text, "0.330 V");
        tryVerify(function() { return String(back.color) === resting; }, 2000, "the flash fades");
    }

    function test_ratesFromTheCounterView() {
        createView();
        tryVerify(function() { return card(1) !== null; });
        compare(requests.count, 1);
        compare(requests.signalArguments[0][0]["Counter"]["type"], "start");
        compare(requests.signalArguments[0][0]["Counter"]["data_id"], "Counts");
        exchanger.exchangeData({ "Counter": { "Counts": [[0, 3600], [0, 10, 1500], [0, 2.5e6]] } });
        compare(findChild(card(1), "rateLabel").text, "1.50 KHz");
        compare(findChild(card(2), "rateLabel").text, "2.50 MHz");
        compare(findChild(card(5), "rateLabel").text, "0.00 Hz");
        // Other modules' data are not counts.
        exchanger.exchangeData({ "Histogram": { "Counts": [[7]] } });
        compare(findChild(card(1), "rateLabel").text, "1.50 KHz");

        view.visible = false;
        compare(requests.count, 2);
        compare(requests.signalArguments[1][0]["Counter"]["type"], "stop");
        view.visible = true;
        compare(requests.count, 3);
        view.destroy();
        view = null;
        wait(0);
        compare(requests.count, 4, "a view that goes stops what it started");
        compare(exchanger.activeCount("Counter", "Counts"), 0);
    }

    function test_tableAndMasterCheckbox() {
        createView();
        compare(view.modelIcon[0].icon, "list");
        compare(view.modelIcon[0].tooltip, "List View");
        compare(view.modelIcon[1].tooltip, "Auto-tune");
        fakeTopBar.btn0Fired();
        compare(view.modelIcon[0].icon, "grid");
        compare(view.modelIcon[0].tooltip, "Grid View");
        var table = findChild(view, "thresholdTable");
        verify(table.visible);
        tryVerify(function() { return row(8) !== null; });
        verify(findChild(view, "thresholdRows").width <= 1000);
        compare(row(0).channelId, 0);

        var master = findChild(table, "masterCheckBox");
        verify(!master.checked);
        mouseClick(master);
        for (var i = 0; i < model.channels.length; ++i)
            verify(model.channels[i].selected, "channel " + i + " selected");
        verify(master.checked);
        model.channels[3].selected = false;
        verify(!master.checked, "one channel less: not all are selected");
        mouseClick(master);
        verify(model.channels[3].selected);
        mouseClick(master);
        for (var j = 0; j < model.channels.length; ++j)
            verify(!model.channels[j].selected);

        exchanger.exchangeData({ "Counter": { "Counts": [[1, 2, 3], [4000, 5000, 6000], [10, 20, 30]] } });
        compare(findChild(row(1), "rateLabel").text, "6.00 KHz");
        compare(findChild(row(1), "historyChart").processed.length, 3);
        shot(view, "table");
        fakeTopBar.btn0Fired();
        verify(!table.visible);
    }

    function test_autoTuningDialog() {
        createView();
        var dialog = findChild(view, "autoTuningDialog");
        fakeTopBar.btn1Fired();
        tryVerify(function() { return dialog.opened; });
        compare(dialog.width, 400);
        compare(dialog.height, 100);
        var text = findChild(dialog.contentItem, "autoTuningText");
        compare(text.text, "Apply Threshold AutoTuning to 9 channels. Continue?");
        model.channels[2].selected = true;
        model.channels[6].selected = true;
        compare(text.text, "Apply Threshold AutoTuning to 2 channels. Continue?");
        shot(view, "autotuning_dialog");

        var ok = findChild(dialog.contentItem, "autoTuningOk");
        var cancel = findChild(dialog.contentItem, "autoTuningCancel");
        compare(cancel.text, "CANCEL");
        mouseClick(ok);
        compare(model.startCalls, 1);
        verify(!ok.enabled);
        verify(findChild(dialog.contentItem, "autoTuningBusy").running);
        compare(cancel.text, "Abort");
        // While the search runs, escape does not dismiss the dialog.
        keyClick(Qt.Key_Escape);
        verify(dialog.opened);
        wait(400);
        shot(view, "autotuning_running");
        mouseClick(cancel);
        compare(model.abortCalls, 1);
        verify(dialog.opened);
        model.autoTuning = false;
        tryVerify(function() { return !dialog.visible; });

        // Without a search CANCEL only closes.
        fakeTopBar.btn1Fired();
        tryVerify(function() { return dialog.opened; });
        mouseClick(findChild(dialog.contentItem, "autoTuningCancel"));
        tryVerify(function() { return !dialog.visible; });
        compare(model.abortCalls, 1);
        compare(model.startCalls, 1);
    }

    function test_tuningWarning() {
        createView();
        model.cannotAutoTuningCh(3);
        compare(messages.length, 1);
        compare(messages[0], ["warning", "Threshold AutoTuning",
                              "For some reasons, it was not possible to AutoTune the channel 3", "Auto", 20000]);
    }
}
