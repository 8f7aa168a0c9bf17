// The column of message cards at the right edge of a window.
import QtQuick 2.15

Item {
    id: root

    readonly property int count: column.children.length

    function spawn(type, title, message, icon, time) {
        var component = Qt.createComponent("MessageCard.qml");
        if (component.status !== Component.Ready) {
            console.warn("Cannot create a message card:", component.errorString());
            return null;
        }
        return component.createObject(column, {
            "type": type, "title": title, "message": message,
            "icon": icon === undefined ? "Auto" : icon,
            "time": time === undefined ? 5000 : time
        });
    }

    Column {
        id: column
        anchors { top: parent.top; right: parent.right; margins: 12 }
        spacing: 6
        move: Transition { NumberAnimation { properties: "y"; duration: 200 } }
    }
}
