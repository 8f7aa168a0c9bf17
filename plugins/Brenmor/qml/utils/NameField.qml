// The name of a histogram, editable in place. A new name is checked (it becomes part of file
// names and must differ from the others) and handed on through nameEntered, or refused with
// the reason in red; Escape or leaving the field shows the current name again.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../../qml/utils"
import "histfiles.js" as Files

TextField {
    id: root

    property string name: ""
    // Names of the other histograms of the board.
    property var otherNames: []
    property string lockedReason: ""
    property string error: ""

    signal nameEntered(string name)

    function showName() {
        error = "";
        text = Qt.binding(function() { return root.name; });
    }

    // Returns true when the text was taken (or equals the current name).
    function commit() {
        var wanted = text.trim();
        if (wanted === name) {
            showName();
            return true;
        }
        var reason = Files.nameProblem(wanted, otherNames);
        if (reason !== "") {
            error = reason;
            return false;
        }
        showName();
        nameEntered(wanted);
        return true;
    }

    text: name
    selectByMouse: true
    font.bold: true
    maximumLength: 64
    color: error === "" ? Style.textColor : Style.errorColor
    onAccepted: commit()
    onEditingFinished: if (error === "") commit()
    Keys.onEscapePressed: showName()

    ToolTip.visible: (error !== "" && (activeFocus || hovered)) || (lockedReason !== "" && hovered)
    ToolTip.text: error !== "" ? error : lockedReason
}
