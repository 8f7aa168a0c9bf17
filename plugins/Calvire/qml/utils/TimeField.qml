// A time in seconds as text with a unit; commits a parsed value, refuses other text.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../../qml/utils"
import "legacyformat.js" as Format

TextField {
    id: root

    property real value: 0
    property bool allowNegative: false
    property int decimals: 3

    signal committed(real seconds)

    function show() {
        text = Qt.binding(function() { return Format.timeText(root.value, root.decimals); });
    }

    implicitWidth: 120
    selectByMouse: true
    horizontalAlignment: TextInput.AlignHCenter
    text: Format.timeText(value, decimals)
    onEditingFinished: {
        if (text === Format.timeText(value, decimals))
            return;
        var seconds = Format.parseTime(text, allowNegative);
        if (seconds !== undefined)
            committed(seconds);
        show();
    }
    ToolTip.visible: hovered && enabled
    ToolTip.text: "e.g. 250 ps, 1.5 ns"
    ToolTip.delay: 600
}
