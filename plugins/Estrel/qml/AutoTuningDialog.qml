// Asks before the board's threshold search runs, shows it running and offers to abort it.
// It cannot be dismissed while the search runs and closes itself when the search ends.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../qml/utils"
import "voltage.js" as Voltage

Popup {
    id: root

    property var model: null
    property var channels: []
    readonly property bool tuning: model !== null && model.autoTuning
    readonly property int count: Voltage.tuningCount(channels)

    objectName: "autoTuningDialog"
    width: 400
    height: 100
    modal: true
    padding: 12
    anchors.centerIn: Overlay.overlay
    closePolicy: tuning ? Popup.NoAutoClose : (Popup.CloseOnEscape | Popup.CloseOnPressOutside)

    background: Rectangle {
        color: Style.dialog.background
        radius: 3
        border.color: Style.card.border
    }

    Connections {
        target: root.model
        ignoreUnknownSignals: true
        function onAutoTuningChanged() {
            if (!root.model.autoTuning)
                root.close();
        }
    }

    Label {
        objectName: "autoTuningText"
        anchors { left: parent.left; right: parent.right; top: parent.top }
        text: "Apply Threshold AutoTuning to " + root.count + " channels. Continue?"
        wrapMode: Text.WordWrap
        color: Style.textColor
        font.pixelSize: 14
    }

    Row {
        anchors { right: parent.right; bottom: parent.bottom }
        spacing: 8

        Button {
            objectName: "autoTuningCancel"
            flat: true
            height: 40
            topInset: 0
            bottomInset: 0
            text: root.tuning ? "Abort" : "CANCEL"
            onClicked: {
                if (root.tuning)
                    root.model.abortAutoTuning();
                else
                    root.close();
            }
        }

        Item {
            width: 80
            height: 40
            Button {
                objectName: "autoTuningOk"
                anchors.fill: parent
                topInset: 0
                bottomInset: 0
                highlighted: true
                enabled: !root.tuning
                text: root.tuning ? "" : "OK"
                onClicked: root.model.startAutoTuning()
            }
            // Beside the button, not in it: a disabled button would grey it out.
            BusyIndicator {
                objectName: "autoTuningBusy"
                anchors.centerIn: parent
                width: 34
                height: 34
                running: root.tuning
                visible: root.tuning
            }
        }
    }
}
