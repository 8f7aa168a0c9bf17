// The parts every window shares: left bar, top bar and view stack, wired together.
import QtQuick 2.15
import "../utils"

Item {
    id: root

    property bool mainBar: true
    property alias leftBar: leftBar
    property alias topBar: topBar
    property alias viewStack: viewStack
    property bool connected: false
    property string boardName: ""
    property Item homeView: null

    signal addViewRequested()
    signal closeViewRequested(string uuid)
    signal ejectViewRequested(string uuid)
    signal renameViewRequested(string uuid, string title)
    signal versionRequested()

    LeftBar {
        id: leftBar
        anchors { left: parent.left; top: parent.top; bottom: parent.bottom }
        width: root.mainBar ? 220 : 180
        mainBar: root.mainBar
        currentUUID: viewStack.currentUUID
        connected: root.connected
        boardName: root.boardName
        onViewSelected: viewStack.currentUUID = uuid
        onAddViewRequested: root.addViewRequested()
        onCloseViewRequested: root.closeViewRequested(uuid)
        onEjectViewRequested: root.ejectViewRequested(uuid)
        onRenameViewRequested: root.renameViewRequested(uuid, title)
        onVersionRequested: root.versionRequested()
    }

    TopBar {
        id: topBar
        anchors { left: leftBar.right; right: parent.right; top: parent.top }
        height: 56
        title: viewStack.currentView ? viewStack.currentView.topBarTitle : ""
        subViewIndex: viewStack.currentView ? viewStack.currentView.subViewIndex : 0
        subViewCount: viewStack.currentView ? viewStack.currentView.subViewCount : 0
        modelIcon: viewStack.currentView ? viewStack.currentView.modelIcon : []
    }

    ViewStack {
        id: viewStack
        anchors { left: leftBar.right; right: parent.right; top: topBar.bottom; bottom: parent.bottom }
        topBar: topBar
        homeView: root.homeView
        clip: true
    }
}
