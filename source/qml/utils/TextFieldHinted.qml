// A text field that checks its text against a pattern and explains the expected form.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "."

TextField {
    id: root

    property var regexp: /.*/
    property string tooltipMsg: ""
    property bool textValid: true
    readonly property var stdRegex: ({
        date_time: /^\s*(?:(\d+)\s*d)?\s*(?:(\d+)\s*h)?\s*(?:(\d+)\s*m(?!s))?\s*(?:(\d+)\s*s)?\s*$/,
        file_size: /^\s*(\d+(?:\.\d+)?)\s*(b|kb|mb|gb|tb)\s*$/i,
        sec_units: /^\s*(\d+(?:\.\d+)?)\s*(s|ms|us|ns|ps|fs)\s*$/
    })
    readonly property var stdTooltip: ({
        date_time: "e.g., 1d2h3m4s",
        file_size: "e.g., 100MB",
        sec_units: "e.g., 19.20ns"
    })
    readonly property var match: root.regexp.exec(root.text)
    readonly property bool valid: match !== null && root.text.trim() !== "" && textValid
    readonly property var catchValues: valid ? Array.prototype.slice.call(match, 1) : []

    color: valid ? Style.textColor : Style.errorColor
    selectByMouse: true

    ToolTip.visible: tooltipMsg !== "" && (hovered || (activeFocus && !valid))
    ToolTip.text: tooltipMsg
    ToolTip.delay: 500
}
