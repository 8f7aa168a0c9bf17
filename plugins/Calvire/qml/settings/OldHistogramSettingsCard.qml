// The settings of one legacy histogram: running, channels, bins and offset, pushing.
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "./../../../../qml/utils"
import "../utils"
import "../utils/legacyformat.js" as Format

BaseView {
    id: root

    property var hist: null
    property int numCh: 9
    readonly property bool editable: hist !== null && !hist.isTimeTrigActive

    signal copyClicked()
    signal chartClicked(var anchor)

    objectName: "legacySettingsCard"
    title: hist ? hist.name : ""
    implicitWidth: 620
    implicitHeight: grid.implicitHeight + titleHeight + 24

    GridLayout {
        id: grid
        anchors { left: parent.left; right: parent.right; top: parent.top; margins: 12 }
        columns: 4
        columnSpacing: 12
        rowSpacing: 2

        Label { text: "ENABLE" }
        Switch {
            objectName: "activeSwitch"
            enabled: root.editable
            checked: root.hist !== null && root.hist.isActive
            onToggled: root.hist.isActive = checked
        }
        Label { text: "AUTO PUSH" }
        Switch {
            objectName: "autopushSwitch"
            enabled: root.editable
            checked: root.hist !== null && root.hist.autopush
            onToggled: root.hist.autopush = checked
        }

        Label { text: "REFERENCE" }
        ComboBox {
            objectName: "refMenu"
            Layout.fillWidth: true
            enabled: root.editable
            model: Format.channelItems(root.numCh, true)
            currentIndex: root.hist ? Format.indexOf(root.hist.refCH, root.hist.refPolarity, true) : 0
            onActivated: {
                var pair = Format.channelOf(index, true);
                root.hist.setRefCH(pair[0], pair[1]);
            }
        }
        Label { text: "MEASUREMENT" }
        ComboBox {
            objectName: "measMenu"
            Layout.fillWidth: true
            enabled: root.editable
            model: Format.channelItems(root.numCh, false)
            currentIndex: root.hist ? Format.indexOf(root.hist.measCH, root.hist.measPolarity, false) : 0
            onActivated: {
                var pair = Format.channelOf(index, false);
                root.hist.setMeasCH(pair[0], pair[1]);
            }
        }

        Label { text: "BIN WIDTH" }
        TimeField {
            objectName: "binWidthField"
            enabled: root.editable
            value: root.hist ? root.hist.binWidth : 0
            onCommitted: root.hist.binWidth = seconds
        }
        Label { text: "FULL SCALE" }
        TimeField {
            objectName: "fsrField"
            enabled: root.editable
            value: root.hist ? root.hist.windowFSR : 0
            onCommitted: root.hist.windowFSR = seconds
        }

        Label { text: "BIT TRUNC" }
        SpinBox {
            objectName: "bitTruncBox"
            enabled: root.editable
            from: 0
            to: root.hist ? root.hist.maxBitTrunc : 0
            value: root.hist ? root.hist.bitTrunc : 0
            onValueModified: root.hist.bitTrunc = value
        }
        Label { text: "TIME OFFSET" }
        TimeField {
            objectName: "offsetField"
            enabled: root.editable
            value: root.hist ? root.hist.timeOffset : 0
            onCommitted: root.hist.timeOffset = seconds
        }

        Label {
            Layout.columnSpan: 3
            text: root.hist ? "Range " + Format.timeText(root.hist.maxFSR, 2) + ", 2<sup>" + root.hist.bin_addr_width + "</sup> bins"
                            : ""
            textFormat: Text.RichText
            color: Style.textDim
        }
        Button {
            objectName: "resetButton"
            text: "RESET"
            enabled: root.editable
            onClicked: root.hist.resetBtnFired()
        }

        Item { Layout.columnSpan: 2; Layout.fillWidth: true }
        Button {
            id: chartButton
            objectName: "chartButton"
            text: "CHART"
            flat: true
            onClicked: root.chartClicked(chartButton)
            ToolTip.visible: hovered
            ToolTip.text: "Show in a ChartView"
        }
        Button {
            objectName: "copyButton"
            text: "COPY"
            flat: true
            enabled: root.editable
            onClicked: root.copyClicked()
            ToolTip.visible: hovered
            ToolTip.text: "Copy parameters to other histograms"
        }
    }

    ToolTip.visible: hist !== null && hist.isTimeTrigActive && hoverArea.containsMouse
    ToolTip.text: "Time Trigger ON: not editable"
    MouseArea { id: hoverArea; anchors.fill: parent; hoverEnabled: true; acceptedButtons: Qt.NoButton }
}
