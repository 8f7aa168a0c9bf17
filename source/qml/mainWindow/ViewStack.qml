// The views of one window, one shown at a time: the child whose uuid is the selected
// identifier, the Home view (the first child) of the main window when none matches.
import QtQuick 2.15
import "../utils"

Item {
    id: root

    property string currentUUID: ""
    property Item homeView: null
    property Item currentView: null
    property var topBar: null

    function sockets() {
        var list = [];
        for (var i = 0; i < children.length; ++i)
            if (children[i].objectName === "viewSocket")
                list.push(children[i]);
        return list;
    }

    function findView(uuid) {
        var list = sockets();
        for (var i = 0; i < list.length; ++i)
            if (list[i].uuid === uuid)
                return list[i];
        return null;
    }

    function refresh() {
        var found = findView(currentUUID);
        if (!found)
            found = homeView;
        var views = sockets();
        if (homeView)
            views.push(homeView);
        for (var i = 0; i < views.length; ++i) {
            views[i].visible = views[i] === found;
            views[i].isCurrentView = views[i] === found;
        }
        currentView = found;
    }

    function forward(action, argument) {
        // Sockets and the Home view both take the top bar's actions.
        if (currentView)
            currentView.topBarAction(action, argument);
    }

    onCurrentUUIDChanged: refresh()
    onChildrenChanged: Qt.callLater(refresh)
    Component.onCompleted: refresh()

    Rectangle {
        anchors.fill: parent
        color: Style.view.background
        z: -1
    }

    Connections {
        target: root.topBar
        function onBtn0Fired() { root.forward("btn0"); }
        function onBtn1Fired() { root.forward("btn1"); }
        function onBtn2Fired() { root.forward("btn2"); }
        function onBtn3Fired() { root.forward("btn3"); }
        function onIncrementIndex() { root.forward("next"); }
        function onDecrementIndex() { root.forward("previous"); }
        function onSetSubViewIndex(index) { root.forward("index", index); }
    }
}
