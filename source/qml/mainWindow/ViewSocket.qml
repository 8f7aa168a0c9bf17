// The container of one view in a stack: loads the view file, hands it its models, the data
// exchanger and the main window, forwards the top bar's actions to it while it is current,
// and saves and restores it inside the settings group the caller has opened.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "../utils"

Item {
    id: root

    property var tdcModelData: []
    property url viewSocketSource: ""
    property string uuid: ""
    property string topBarTitle: ""
    property string viewIcon: ""
    property bool isCurrentView: false
    property string viewType: ""
    property var topBar: null
    property var dataExchanger: null
    property var mainWindow: null

    readonly property alias item: loader.item
    readonly property var modelIcon: item && item.modelIcon !== undefined ? item.modelIcon : []
    readonly property int subViewIndex: item && item.subViewIndex !== undefined ? item.subViewIndex : 0
    readonly property int subViewCount: item && item.subViewCount !== undefined ? item.subViewCount : 0

    signal btn0Fired()
    signal btn1Fired()
    signal btn2Fired()
    signal btn3Fired()
    signal incrementIndex()
    signal decrementIndex()
    signal setSubViewIndex(int index)

    objectName: "viewSocket"
    anchors.fill: parent

    function topBarAction(action, argument) {
        switch (action) {
        case "btn0": btn0Fired(); break;
        case "btn1": btn1Fired(); break;
        case "btn2": btn2Fired(); break;
        case "btn3": btn3Fired(); break;
        case "next": incrementIndex(); break;
        case "previous": decrementIndex(); break;
        case "index": setSubViewIndex(argument); break;
        }
    }

    function modelUUIDs() {
        var ids = [];
        var models = tdcModelData || [];
        for (var i = 0; i < models.length; ++i)
            if (models[i])
                ids.push(models[i].modelUUID);
        return ids;
    }

    function load(source, models) {
        tdcModelData = models || [];
        if (String(source) === String(viewSocketSource) && loader.item)
            return;
        viewSocketSource = source || "";
        if (String(viewSocketSource) === "") {
            loader.source = "";
            return;
        }
        loader.setSource(viewSocketSource, {
            "tdcModelData": Qt.binding(function() { return root.tdcModelData; }),
            "dataExchanger": root.dataExchanger,
            "mainWindow": root.mainWindow,
            "viewSocket": root
        });
    }

    function saveSettings() {
        if (String(viewSocketSource) === "")
            return;
        settings.setValue("viewSocketSource", String(viewSocketSource));
        if (!settings.contains("notSubView")) {
            var ids = modelUUIDs();
            settings.beginWriteArray("modelUUIDs", ids.length);
            for (var i = 0; i < ids.length; ++i) {
                settings.setArrayIndex(i);
                settings.setValue("uuid", ids[i]);
            }
            settings.endArray();
        }
        if (item && typeof item.saveSettings === "function") {
            settings.beginGroup("itemContext");
            item.saveSettings();
            settings.endGroup();
        }
    }

    // Answers false when the stored view has lost every model it showed; the caller then
    // removes the view.
    function loadSettings() {
        if (!settings.contains("viewSocketSource"))
            return true;
        var source = settings.value("viewSocketSource");
        var models = tdcModelData;
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
            if (models.length === 0)
                return false;
        }
        load(source, models);
        if (item && typeof item.loadSettings === "function") {
            settings.beginGroup("itemContext");
            item.loadSettings();
            settings.endGroup();
        }
        return true;
    }

    Loader {
        id: loader
        anchors.fill: parent
        onStatusChanged: {
            if (status === Loader.Error)
                console.warn("Cannot load the view", root.viewSocketSource);
        }
    }

    Label {
        anchors.centerIn: parent
        visible: String(root.viewSocketSource) === ""
        text: "Empty view"
        color: Style.textDim
        font.pixelSize: 18
    }
}
