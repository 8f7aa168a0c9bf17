import QtQuick 2.15
import QtTest 1.2
import "fakes"
import QtQuick.Window 2.15
import "qrc:/qml/mainWindow"

TestCase {
    id: test
    name: "CounterView"
    when: windowShown
    width: 800
    height: 600

    property var view: null

    Component { id: modelComponent; FakeCounterModel {} }
    Window { id: host; width: 800; height: 600; visible: true }
    DataExchanger { id: exchanger }
    QtObject {
        id: fakeWindow
        signal turnOffTDCTasks()
    }
    SignalSpy { id: dataSpy; target: exchanger; signalName: "exchangeData" }

    function histories(rates) {
        var list = [];
        for (var i = 0; i < rates.length; ++i)
            list.push([0, rates[i] / 2, rates[i]]);
        return list;
    }

    function createView(models) {
        var component = Qt.createComponent("qrc:/plugin/fennick/CounterView.qml");
        compare(component.status, Component.Ready, component.errorString());
        view = component.createObject(host.contentItem, { width: 800, height: 600, tdcModelData: models,
                                              dataExchanger: exchanger, mainWindow: fakeWindow });
        verify(view);
        return view;
    }

    function init() {
        tdc_backed.isConnected = true;
    }

    function cleanup() {
        if (view)
            view.destroy();
        view = null;
        dataSpy.clear();
    }

    function card(channel) {
        return findChild(view, "channelCard" + channel);
    }

    function test_startsRatesAndPublishes() {
        var processed = modelComponent.createObject(test, { counters: histories([5000, 250]) });
        var input = modelComponent.createObject(test, { counters: histories([6000, 300]) });
        createView([processed, input]);
        verify(processed.autopush, "rates flow while the view exists");
        verify(input.autopush);
        compare(processed.integrationTime, 0.2);
        tryVerify(function() { return card(1) !== null; });
        compare(card(0).title, "SYNC");
        compare(card(1).title, "CH. 1");

        processed.counters = histories([5000, 1234567]);
        processed.countersChanged();
        compare(dataSpy.count >= 1, true);
        var published = dataSpy.signalArguments[dataSpy.count - 1][0];
        compare(published["Counter"]["Counts"][1][2], 300, "the raw-input histories are published with two models");
        compare(card(1).processedRate, 1234567);
        compare(card(1).inputRate, 300);
        compare(findChild(card(1), "processedRate").text, "1.23 MHz");
        verify(findChild(card(1), "inputRate").visible);
    }

    function test_singleModel() {
        var processed = modelComponent.createObject(test, { counters: histories([1000, 999]) });
        createView([processed]);
        processed.countersChanged();
        var published = dataSpy.signalArguments[dataSpy.count - 1][0];
        compare(published["Counter"]["Counts"][1][2], 999);
        tryVerify(function() { return card(1) !== null; });
        compare(card(1).inputRate, 0, "no second model: the input rate reads 0");
        compare(findChild(card(1), "inputRate").visible, false);
        compare(findChild(card(1), "processedRate").text, "999.00 Hz");
    }

    function test_integrationTimeFollowsViewersAndStopsOnRequest() {
        var processed = modelComponent.createObject(test, { counters: histories([1, 2]) });
        createView([processed]);
        view.visible = false;
        compare(processed.integrationTime, 1);
        exchanger.startExchangeData("Counter", "Counts");
        compare(processed.integrationTime, 0.2, "another view takes the counts");
        exchanger.stopExchangeData("Counter", "Counts");
        compare(processed.integrationTime, 1);
        view.visible = true;
        compare(processed.integrationTime, 0.2);
        exchanger.startExchangeData("Counter", "Counts");
        exchanger.stopExchangeData("Counter", "Counts");
        compare(processed.integrationTime, 0.2, "a view on screen keeps its rates quick when the exchange stops");

        tdc_backed.isConnected = false;
        view.visible = false;
        compare(processed.integrationTime, 0.2, "a disconnected board's model is left alone");
        tdc_backed.isConnected = true;
        view.visible = true;

        fakeWindow.turnOffTDCTasks();
        compare(processed.autopush, false);
        tryVerify(function() { return card(1) !== null; });
        compare(findChild(card(1), "processedRate").text, "0 Hz", "a stopped counter shows zero");
    }

    function test_gaugePositions() {
        var processed = modelComponent.createObject(test, { counters: histories([0, 999]) });
        createView([processed]);
        tryVerify(function() { return card(1) !== null; });
        // 999 events/s on a log scale of 10^9: log10(1000) / 9 of 18 ticks.
        compare(card(1).fraction(999) * 18, 6);
        var grid = findChild(view, "channelGrid");
        grid.setChannelSetting(1, "isLog", false);
        grid.setChannelSetting(1, "maxVal", 3);
        compare(card(1).isLog, false);
        compare(card(1).fraction(500), 0.5);
    }

    function test_channelSettingsSaved() {
        var processed = modelComponent.createObject(test, { counters: histories([1, 2, 3]) });
        createView([processed]);
        var grid = findChild(view, "channelGrid");
        grid.setChannelSetting(2, "maxVal", 4);
        grid.setChannelSetting(2, "isLog", false);
        settings.clear();
        view.saveSettings();
        compare(settings.value("config/size"), 3);
        compare(settings.value("config/3/maxVal"), 4);
        view.destroy();
        createView([processed]);
        grid = findChild(view, "channelGrid");
        compare(grid.channelSetting(2, "maxVal", 9), 9);
        view.loadSettings();
        compare(grid.channelSetting(2, "maxVal", 9), 4);
        compare(grid.channelSetting(2, "isLog", true), false);
    }
}
