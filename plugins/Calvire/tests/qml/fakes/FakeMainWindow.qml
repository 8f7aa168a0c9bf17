// Stands in for the main window: messages are kept, and new views are loaded into a holder
// item so that a chart view can be driven like the real one.
import QtQuick 2.15

Item {
    id: root

    readonly property string windowID: "MainWindow"
    property var messages: []
    property var dictView: ({})
    property string currentUUID: ""
    property int nextId: 0

    signal turnOffTDCTasks()

    function spawnMessage(type, title, text) { messages.push({ type: type, title: title, text: text }); }
    function lastMessage() { return messages.length > 0 ? messages[messages.length - 1] : null; }
    function setViewByUUID(uuid) { currentUUID = uuid; }

    function registerNewView(windowID, uuid, models, source, title, icon, kind, viewType) {
        var id = uuid ? uuid : "_view" + (nextId++);
        var socket = socketComponent.createObject(root, { uuid: id, topBarTitle: title, viewType: viewType });
        var component = Qt.createComponent(source);
        if (component.status !== Component.Ready) {
            console.warn(component.errorString());
            return null;
        }
        socket.item = component.createObject(socket, { tdcModelData: models, mainWindow: root,
                                                       width: 1000, height: 700 });
        dictView[id] = socket;
        return socket;
    }

    Component {
        id: socketComponent
        Item {
            property string uuid: ""
            property string topBarTitle: ""
            property string viewType: ""
            property var item: null
        }
    }
}
