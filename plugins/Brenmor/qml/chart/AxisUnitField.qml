// A caption and a short text field for one setting of the time axis's unit. The text goes
// through apply(text), which answers "" when it was taken or the reason it was not; a refused
// text stays in red with the reason as tooltip, Escape shows the current setting again.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../../qml/utils"

Row {
    id: root

    property string caption: ""
    property string shown: ""
    property var apply: function(text) { return ""; }
    property string tip: ""
    property alias field: field
    readonly property string error: field.error

    spacing: 4

    Label {
        anchors.verticalCenter: parent.verticalCenter
        text: root.caption
        color: Style.textDim
    }
    TextField {
        id: field
        property string error: ""
        objectName: root.objectName + "Text"
        width: 88
        text: root.shown
        selectByMouse: true
        color: error === "" ? Style.textColor : Style.errorColor
        function show() {
            error = "";
            text = Qt.binding(function() { return root.shown; });
        }
        function commit() {
            if (text === root.shown) {
                show();
                return;
            }
            var reason = root.apply(text);
            if (reason === "")
                show();
            else
                error = reason;
        }
        onAccepted: commit()
        onEditingFinished: if (error === "") commit()
        Keys.onEscapePressed: show()
        ToolTip.visible: hovered || (error !== "" && activeFocus)
        ToolTip.text: error !== "" ? error : root.tip
    }
}
