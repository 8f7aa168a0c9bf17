// Every setting of one histogram: name, on/off, channels, swap, bounds, bin width, refresh
// period, accumulate, multi-hit, reset, copy, chart views, and a small chart. Used as a table row (captions in the header) and
// as a page of the swipe list. Edits go through the view, which applies them to every ticked
// histogram when this one is ticked.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../../qml/utils"
import "../utils"
import "../utils/histformat.js" as Format
import "columns.js" as Columns

Item {
    id: root

    property var hist: null
    property var view: null
    property bool inTable: true
    readonly property bool locked: hist !== null && hist.isTimeTrigActive
    readonly property string lockedReason: locked ? "Time Trigger ON: not editable" : ""
    readonly property bool showCaptions: !inTable
    readonly property string swapTooltip: hist && hist.refCH === 0 ? "Sync can not be used as Meas Ch" : "Swap Channels"
    readonly property bool shownInChart: hist !== null && hist.numGroups > 0 && hist.isActive && !hist.isTimeTrigActive

    function cellWidth(key) { return inTable ? Columns.widthOf(key) : Math.max(Columns.widthOf(key), 130); }
    function edit(action) { if (view && hist) view.applyEdit(hist, action); }

    implicitWidth: flow.implicitWidth
    implicitHeight: flow.implicitHeight
    objectName: "histogramControls"

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
                spacing: 4
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
                NameField {
                    objectName: "nameField"
                    width: parent.width - (indicator.visible ? 14 : 0)
                    enabled: !root.locked
                    name: root.hist ? root.hist.name : ""
                    otherNames: root.view ? root.view.namesOtherThan(root.hist) : []
                    // A name belongs to one histogram: renaming is never a selection edit.
                    onNameEntered: if (root.hist) root.hist.name = name
                }
            }
        }
        Cell {
            width: root.cellWidth("active")
            caption: "ON"
            showCaption: root.showCaptions
            Switch {
                objectName: "activeSwitch"
                enabled: !root.locked && root.hist !== null && root.hist.waitPause === 0
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
            ChannelMenu {
                objectName: "measMenu"
                width: parent.width
                enabled: !root.locked
                numCh: root.view ? root.view.numCh : 1
                withSync: false
                channel: root.hist ? root.hist.measCH : 0
                edge: root.hist ? root.hist.measPolarity : 1
                onPicked: root.edit(function(h) { h.setMeasCH(channel, edge); })
            }
        }
        Cell {
            width: root.cellWidth("ref")
            caption: "REF CH"
            showCaption: root.showCaptions
            ChannelMenu {
                objectName: "refMenu"
                width: parent.width
                enabled: !root.locked
                numCh: root.view ? root.view.numCh : 1
                withSync: true
                channel: root.hist ? root.hist.refCH : 0
                edge: root.hist ? root.hist.refPolarity : 1
                onPicked: root.edit(function(h) { h.setRefCH(channel, edge); })
            }
        }
        Cell {
            width: root.cellWidth("swap")
            caption: "SWAP"
            showCaption: root.showCaptions
            ToolButton {
                id: swapButton
                objectName: "swapButton"
                enabled: !root.locked
                width: 40; height: 40
                ColoredIcon {
                    anchors.centerIn: parent
                    width: 22; height: 22
                    sourceImage: "swap-horiz"
                    color: Style.blueGrey
                }
                onClicked: root.view.swap(root.hist)
                ToolTip.visible: hovered
                ToolTip.text: root.swapTooltip
            }
        }
        Cell {
            width: root.cellWidth("left")
            caption: "LEFT BOUND"
            showCaption: root.showCaptions
            UnitTextField {
                objectName: "leftField"
                width: parent.width
                enabled: !root.locked
                kind: "bound"
                value: root.hist ? root.hist.leftBound : 0
                check: function(v) { return v < root.hist.rightBound ? "" : "The left bound must be below the right bound"; }
                onValueEntered: root.edit(function(h) { if (value < h.rightBound) h.leftBound = value; })
            }
        }
        Cell {
            width: root.cellWidth("right")
            caption: "RIGHT BOUND"
            showCaption: root.showCaptions
            UnitTextField {
                objectName: "rightField"
                width: parent.width
                enabled: !root.locked
                kind: "bound"
                value: root.hist ? root.hist.rightBound : 0
                check: function(v) { return v > root.hist.leftBound ? "" : "The right bound must be above the left bound"; }
                onValueEntered: root.edit(function(h) { if (value > h.leftBound) h.rightBound = value; })
            }
        }
        Cell {
            width: root.cellWidth("width")
            caption: "BIN WIDTH"
            showCaption: root.showCaptions
            UnitTextField {
                objectName: "binWidthField"
                width: parent.width
                enabled: !root.locked
                kind: "width"
                value: root.hist ? root.hist.binWidth : 0
                onValueEntered: root.edit(function(h) { h.binWidth = value; })
            }
        }
        Cell {
            width: root.cellWidth("period")
            caption: "REFRESH"
            showCaption: root.showCaptions
            UnitTextField {
                objectName: "periodField"
                width: parent.width
                enabled: !root.locked
                kind: "period"
                value: root.hist ? root.hist.refreshPeriod : 50
                onValueEntered: root.edit(function(h) { h.refreshPeriod = value; })
            }
        }
        Cell {
            width: root.cellWidth("accumulate")
            caption: "ACCUMULATE"
            showCaption: root.showCaptions
            Switch {
                objectName: "accumulateSwitch"
                enabled: !root.locked
                checked: root.hist ? root.hist.accumulate : false
                onToggled: {
                    var on = checked;
                    checked = Qt.binding(function() { return root.hist ? root.hist.accumulate : false; });
                    root.edit(function(h) { h.accumulate = on; });
                }
                ToolTip.visible: hovered
                ToolTip.text: "Keep adding every window to the histogram"
            }
        }
        Cell {
            width: root.cellWidth("multiHit")
            caption: "MULTI HIT"
            showCaption: root.showCaptions
            Switch {
                objectName: "multiHitSwitch"
                enabled: !root.locked
                checked: root.hist ? root.hist.multiHit : false
                onToggled: {
                    var on = checked;
                    checked = Qt.binding(function() { return root.hist ? root.hist.multiHit : false; });
                    root.edit(function(h) { h.multiHit = on; });
                }
                ToolTip.visible: hovered
                ToolTip.text: "Count every stop before the right bound, not only the first"
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
                    objectName: "chartButton"
                    width: 40; height: 40
                    ColoredIcon { anchors.centerIn: parent; width: 22; height: 22; sourceImage: "bar-chart"; color: root.shownInChart ? Style.accent : Style.blueGrey }
                    onClicked: root.view.openChartMenu(root.hist, this)
                    ToolTip.visible: hovered
                    ToolTip.text: root.shownInChart ? "Histogram active in ChartView" : "Show in a ChartView"
                }
            }
        }
        Cell {
            width: root.cellWidth("chart")
            caption: "HISTOGRAM"
            showCaption: root.showCaptions
            MiniChart {
                width: parent.width
                height: 40
                hist: root.hist
            }
        }
        Cell {
            width: root.cellWidth("info")
            caption: "RANGE / BINS"
            showCaption: root.showCaptions
            Column {
                Label {
                    text: root.hist ? Format.format_text(root.hist.maxFSR, 1) : ""
                    font.pixelSize: 12
                }
                Label {
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
        ToolTip.text: root.lockedReason
    }
}
