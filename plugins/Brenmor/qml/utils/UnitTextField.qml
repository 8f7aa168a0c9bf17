// A number with its unit: bounds and bin widths in s … as, the refresh period in s or ms.
// The field shows the wrapper's value; a new text is checked, converted and handed on
// through valueEntered, or refused with the reason in red. A text equal to the shown one
// writes nothing.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../../qml/utils"
import "histformat.js" as Format

TextField {
    id: root

    // "bound", "width" or "period"
    property string kind: "bound"
    // seconds; milliseconds for "period"
    property real value: 0
    property int decimals: 2
    // Extra test of a parsed value: returns "" when acceptable, else the reason.
    property var check: function(v) { return ""; }
    property string lockedReason: ""
    property string error: ""
    readonly property string shownText: kind === "period" ? Format.periodText(value)
                                                           : Format.format_text(value, decimals)
    readonly property string hint: kind === "period" ? "e.g., 0.05 s or 50 ms"
                                 : kind === "width" ? "e.g., 250 ps" : "e.g., -1.5 ns"

    signal valueEntered(real value)

    function parse(t) {
        if (kind === "period")
            return Format.parsePeriodMs(t);
        if (kind === "width")
            return Format.parseBinWidth(t);
        return Format.parseBound(t);
    }

    function showValue() {
        error = "";
        text = Qt.binding(function() { return root.shownText; });
    }

    // Returns true when the text was taken (or equals the shown one).
    function commit() {
        if (text === shownText) {
            showValue();
            return true;
        }
        var v = parse(text);
        if (v === null) {
            error = "Not a valid value: " + hint;
            return false;
        }
        var reason = check(v);
        if (reason !== "") {
            error = reason;
            return false;
        }
        showValue();
        valueEntered(v);
        return true;
    }

    text: shownText
    selectByMouse: true
    implicitWidth: 110
    color: error === "" ? Style.textColor : Style.errorColor
    onAccepted: commit()
    onEditingFinished: if (error === "") commit()
    onActiveFocusChanged: if (!activeFocus && text === shownText) showValue()
    Keys.onEscapePressed: showValue()

    ToolTip.visible: (error !== "" && (activeFocus || hovered)) || (lockedReason !== "" && hovered)
    ToolTip.text: error !== "" ? error : lockedReason
}
