// Every setting of one legacy histogram: on/off, channels, bin width, full scale, time offset,
// bit truncation, auto push, reset, copy, chart views, a small chart, range and bins. Used as a
// table row (captions in the header) and as a page of the swipe list. Edits go through the
// view, which applies them to every ticked histogram when this one is ticked.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../../qml/utils"
import "../utils"
import "../utils/legacyformat.js" as Format
import "../utils/legacyview.js" as Rules

Item {
    id: root

    property var hist: null
    property var view: null
    property bool inTable: true
    readonly property bool locked: hist !== null && hist.isTimeTrigActive
    readonly property bool showCaptions: !inTable
    readonly property bool shownInChart: view !== null && Rules.activeInChartView(hist, view.chartShown)
    readonly property int numCh: view ? view.numCh : 9

    function cellWidth(key) { return inTable ? Rules.widthOf(key) : Math.max(Rules.widthOf(key), 150); }
    function edit(action) { if (view && hist) view.applyEdit(hist, action); }

    implicitWidth: flow.implicitWidth
    implicitHeight: flow.implicitHeight
    objectName: "legacyControls"

    Flow {
        id: flow
        width: root.width
        spacing: root.inTable ? 4 : 12

        Cell {
            visible: root.inTable
            width: root.cellWidth("select")
            showCaption: false
            CheckBox {
                objectName: "selectBox"
                checked: root.view ? root.view.isSelected(root.hist) : false
                onToggled: root.view.setSelected(root.hist, checked)
            }
        }
        Cell {
            width: root.cellWidth("name")
            caption: "NAME"
            showCaption: root.showCaptions
            Row {
                width: parent.width
                height: 40
                spacing: 6
                Rectangle {
                    id: indicator
                    objectName: "chartIndicator"
                    visible: root.shownInChart
                    anchors.verticalCenter: parent.verticalCenter
                    width: 10; height: 10; radius: 5
                    color: Style.accent
                    MouseArea {
                        id: indicatorHover
                        anchors.fill: parent
                        hoverEnabled: true
                    }
                    ToolTip.visible: indicatorHover.containsMouse
                    ToolTip.text: "Histogram active in ChartView"
                }
                Label {
                    objectName: "nameLabel"
                    anchors.verticalCenter: parent.verticalCenter
                    width: parent.width - (indicator.visible ? 16 : 0)
                    elide: Text.ElideRight
                    font.bold: true
                    text: root.hist ? root.hist.name : ""
                }
            }
        }
        Cell {
            width: root.cellWidth("active")
            caption: "ON"
            showCaption: root.showCaptions
            Switch {
                objectName: "activeSwitch"
                enabled: !root.locked
                checked: root.hist ? root.hist.isActive : false
                onToggled: {
                    var on = checked;
                    checked = Qt.binding(function() { return root.hist ? root.hist.isActive : false; });
                    root.edit(function(h) { h.isActive = on; });
                }
            }
        }
        Cell {
            width: root.cellWidth("meas")
            caption: "MEAS CH"
            showCaption: root.showCaptions
            ComboBox {
                id: measMenu
                objectName: "measMenu"
                width: parent.width
                enabled: !root.locked
                model: Format.channelItems(root.numCh, false)
                currentIndex: root.hist ? Format.indexOf(root.hist.measCH, root.hist.measPolarity, false) : 0
                onActivated: {
                    var pair = Format.channelOf(index, false);
                    // The menu shows the wrapper's pair again until the wrapper reports the change.
                    currentIndex = Qt.binding(function() {
                        return root.hist ? Format.indexOf(root.hist.measCH, root.hist.measPolarity, false) : 0;
                    });
                    root.edit(function(h) { h.setMeasCH(pair[0], pair[1]); });
                }
            }
        }
        Cell {
            width: root.cellWidth("ref")
            caption: "REF CH"
            showCaption: root.showCaptions
            ComboBox {
                objectName: "refMenu"
                width: parent.width
                enabled: !root.locked
                model: Format.channelItems(root.numCh, true)
                currentIndex: root.hist ? Format.indexOf(root.hist.refCH, root.hist.refPolarity, true) : 0
                onActivated: {
                    var pair = Format.channelOf(index, true);
                    currentIndex = Qt.binding(function() {
                        return root.hist ? Format.indexOf(root.hist.refCH, root.hist.refPolarity, true) : 0;
                    });
                    root.edit(function(h) { h.setRefCH(pair[0], pair[1]); });
                }
            }
        }
        Cell {
            width: root.cellWidth("width")
            caption: "BIN WIDTH"
            showCaption: root.showCaptions
            TimeField {
                objectName: "binWidthField"
                width: parent.width
                enabled: !root.locked
                value: root.hist ? root.hist.binWidth : 0
                onCommitted: root.edit(function(h) { h.binWidth = seconds; })
            }
        }
        Cell {
            width: root.cellWidth("fsr")
            caption: "FULL SCALE"
            showCaption: root.showCaptions
            TimeField {
                objectName: "fsrField"
                width: parent.width
                enabled: !root.locked
                value: root.hist ? root.hist.windowFSR : 0
                onCommitted: root.edit(function(h) { h.windowFSR = seconds; })
            }
        }
        Cell {
            width: root.cellWidth("offset")
            caption: "TIME OFFSET"
            showCaption: root.showCaptions
            TimeField {
                objectName: "offsetField"
                width: parent.width
                enabled: !root.locked
                value: root.hist ? root.hist.timeOffset : 0
                onCommitted: root.edit(function(h) { h.timeOffset = seconds; })
            }
        }
        Cell {
            width: root.cellWidth("bitTrunc")
            caption: "BIT TRUNC"
            showCaption: root.showCaptions
            SpinBox {
                objectName: "bitTruncBox"
                width: parent.width
                enabled: !root.locked
                from: 0
                to: root.hist ? root.hist.maxBitTrunc : 0
                value: root.hist ? root.hist.bitTrunc : 0
                editable: true
                onValueModified: {
                    var bits = value;
                    value = Qt.binding(function() { return root.hist ? root.hist.bitTrunc : 0; });
                    root.edit(function(h) { if (bits <= h.maxBitTrunc) h.bitTrunc = bits; });
                }
            }
        }
        Cell {
            width: root.cellWidth("autopush")
            caption: "AUTO PUSH"
            showCaption: root.showCaptions
            Switch {
                objectName: "autopushSwitch"
                enabled: !root.locked
                checked: root.hist ? root.hist.autopush : false
                onToggled: {
                    var on = checked;
                    checked = Qt.binding(function() { return root.hist ? root.hist.autopush : false; });
                    root.edit(function(h) { h.autopush = on; });
                }
                ToolTip.visible: hovered
                ToolTip.text: "Let the board push its counts without waiting"
            }
        }
        Cell {
            width: root.cellWidth("forcePush")
            caption: "FORCE PUSH"
            showCaption: root.showCaptions
            Row {
                spacing: 2
                Switch {
                    objectName: "forcePushSwitch"
                    enabled: !root.locked
                    checked: root.hist ? root.hist.forceAutopush : false
                    onToggled: {
                        var on = checked;
                        checked = Qt.binding(function() { return root.hist ? root.hist.forceAutopush : false; });
                        root.edit(function(h) { h.forceAutopush = on; });
                    }
                    ToolTip.visible: hovered
                    ToolTip.text: "Ask the running histogram for its counts every period"
                }
                TextField {
                    id: periodField
                    objectName: "forcePushPeriod"
                    width: 40
                    anchors.verticalCenter: parent.verticalCenter
                    enabled: !root.locked
                    horizontalAlignment: TextInput.AlignHCenter
                    selectByMouse: true
                    validator: IntValidator { bottom: 1; top: 3600 }
                    text: root.hist ? String(root.hist.refreshRate) : ""
                    onEditingFinished: {
                        var seconds = parseInt(text, 10);
                        var valid = acceptableInput;
                        text = Qt.binding(function() { return root.hist ? String(root.hist.refreshRate) : ""; });
                        if (valid && root.hist && seconds !== root.hist.refreshRate)
                            root.edit(function(h) { h.refreshRate = seconds; });
                    }
                    ToolTip.visible: hovered && enabled
                    ToolTip.text: "Seconds between forced pushes, 1 to 3600"
                }
                Label { text: "s"; anchors.verticalCenter: parent.verticalCenter }
            }
        }
        Cell {
            width: root.cellWidth("actions")
            showCaption: false
            Row {
                spacing: 0
                ToolButton {
                    objectName: "resetButton"
                    enabled: !root.locked
                    width: 40; height: 40
                    ColoredIcon { anchors.centerIn: parent; width: 22; height: 22; sourceImage: "wiper"; color: Style.blueGrey }
                    onClicked: root.edit(function(h) { h.resetBtnFired(); })
                    ToolTip.visible: hovered
                    ToolTip.text: "Reset histogram"
                }
                ToolButton {
                    objectName: "copyButton"
                    enabled: !root.locked
                    width: 40; height: 40
                    ColoredIcon { anchors.centerIn: parent; width: 22; height: 22; sourceImage: "more-horiz"; color: Style.blueGrey }
                    onClicked: root.view.openCopyDialog(root.hist)
                    ToolTip.visible: hovered
                    ToolTip.text: "Copy parameters to other histograms"
                }
                ToolButton {
                    id: chartButton
                    objectName: "chartButton"
                    width: 40; height: 40
                    ColoredIcon {
                        anchors.centerIn: parent; width: 22; height: 22; sourceImage: "bar-chart"
                        color: root.shownInChart ? Style.accent : Style.blueGrey
                    }
                    onClicked: root.view.openChartMenu(root.hist, chartButton)
                    ToolTip.visible: hovered
                    ToolTip.text: root.shownInChart ? "Histogram active in ChartView" : "Show in a ChartView"
                }
            }
        }
        Cell {
            // A page has room for a chart of its own line.
            width: root.inTable ? root.cellWidth("chart") : flow.width
            caption: "HISTOGRAM"
            showCaption: root.showCaptions
            LegacyMiniChart {
                width: parent.width
                height: root.inTable ? 40 : 160
                hist: root.hist
            }
        }
        Cell {
            width: root.cellWidth("info")
            caption: "RANGE / BINS"
            showCaption: root.showCaptions
            Column {
                Label {
                    objectName: "rangeLabel"
                    text: root.hist ? Format.timeText(root.hist.maxFSR, 1) : ""
                    font.pixelSize: 12
                }
                Label {
                    objectName: "binsLabel"
                    textFormat: Text.RichText
                    text: root.hist ? "2<sup>" + root.hist.bin_addr_width + "</sup> bins" : ""
                    font.pixelSize: 12
                }
            }
        }
    }

    // Disabled controls take no hover: the reason they are locked is shown over all of them.
    MouseArea {
        anchors.fill: flow
        visible: root.locked
        hoverEnabled: true
        acceptedButtons: Qt.NoButton
        ToolTip.visible: containsMouse
        ToolTip.text: "Time Trigger ON: not editable"
    }
}
