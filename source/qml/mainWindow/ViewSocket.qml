// The container of one view in a stack: loads the view file (a PluginView), hands it its
// models, the data exchanger, the main window and itself, and relays the top bar's actions to
// the view while it is the current one. Saving and restoring it is the layout store's job.
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
    readonly property var modelIcon: item ? item.modelIcon : []
    readonly property int subViewIndex: item ? item.subViewIndex : 0
    readonly property int subViewCount: item ? item.subViewCount : 0

    // What the view sees as its top bar: these signals come only while the view is current.
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
            "viewSocket": root,
            "topWindowBar": root
        });
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
