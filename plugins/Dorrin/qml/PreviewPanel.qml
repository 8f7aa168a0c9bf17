// The live preview: a histogram of the time from a reference channel's edge to the next
// edges of a measure channel, in bins of 10 ps, refreshed once a second while no recording
// runs.
import QtQuick 2.15
import QtQuick.Controls 2.15
import Chartelle 1.0
import "./../../../qml/utils"
import "ttmrules.js" as Rules

BaseView {
    id: root

    property var model: null
    property int numCh: 0
    readonly property var chart: model ? model.chart : null

    title: "PREVIEW"

    // The capture the preview needs; `refCh`.. are the pair about to be shown.
    function applyFilters(refCh, refEdge, measCh, measEdge) {
        var f = Rules.previewFilters(refCh, refEdge, measCh, measEdge);
        model.risingFilter = f.rising;
        model.fallingFilter = f.falling;
    }

    function choose(isMeasure, channel, edge) {
        if (!chart)
            return;
        // While the preview runs, the capture must follow the new pair at once, so the
        // filters name the channels being chosen.
        if (chart.enabled) {
            if (isMeasure)
                applyFilters(chart.refCH, chart.refEdge, channel, edge);
            else
                applyFilters(channel, edge, chart.measCH, chart.measEdge);
        }
        if (isMeasure)
            chart.setMeasCH(channel, edge);
        else
            chart.setRefCH(channel, edge);
    }

    Row {
        id: controls
        anchors { left: parent.left; right: parent.right; top: parent.top; margins: 8 }
        spacing: 18

        ChannelSelector {
            objectName: "ttmMeasSelector"
            caption: "MeasCH: "
            numCh: root.numCh
            channel: root.chart ? root.chart.measCH : 0
            edge: root.chart ? root.chart.measEdge : Rules.FALLING
            onChosen: root.choose(true, channel, edge)
        }
        ChannelSelector {
            objectName: "ttmRefSelector"
            caption: "RefCH: "
            numCh: root.numCh
            channel: root.chart ? root.chart.refCH : 0
            edge: root.chart ? root.chart.refEdge : Rules.FALLING
            onChosen: root.choose(false, channel, edge)
        }
        CheckBox {
            id: previewBox
            objectName: "ttmPreviewCheck"
            text: "PREVIEW"
            checked: root.chart ? root.chart.enabled : false
            enabled: root.model !== null && !root.model.enableSaveRAW
            onToggled: {
                if (!root.chart)
                    return;
                if (checked)
                    root.applyFilters(root.chart.refCH, root.chart.refEdge, root.chart.measCH, root.chart.measEdge);
                root.chart.enabled = checked;
            }
        }
    }

    SPlotQML {
        id: plot
        objectName: "ttmPreviewPlot"
        anchors { left: parent.left; right: parent.right; top: controls.bottom; bottom: parent.bottom; margins: 6 }
        enableLegend: false

        // Bars narrower than a pixel merge into one of a pixel holding their maximum, so a
        // 10 ps peak stays visible over milliseconds.
        MinimalWidth2D {
            id: chartFilter
            mergeWidth: plot.refChartArea.width > 0 ? Math.max(1e-15, plot.refChartArea.zoomRect.width / plot.refChartArea.width) : 1e-11
        }
        MinimalWidth2D {
            id: navigatorFilter
            mergeWidth: plot.refNavigator.width > 0 ? Math.max(1e-15, plot.refNavigator.zoomRect.width / plot.refNavigator.width) : 1e-11
        }
        BarPlotterDx {
            id: chartBars
            objectName: "ttmChartBars"
            name: "Preview"
            color: "#2f7ed8"
            chartArea: plot.refChartArea
        }
        BarPlotterDx {
            id: navigatorBars
            name: "Preview navigator"
            color: "#2f7ed8"
            showLegend: false
            chartArea: plot.refNavigator
        }

        Component.onCompleted: {
            chartFilter.addPlotter(chartBars);
            navigatorFilter.addPlotter(navigatorBars);
            if (root.chart) {
                root.chart.data.addFilter(chartFilter);
                root.chart.data.addFilter(navigatorFilter);
            }
        }
        Component.onDestruction: {
            if (root.chart) {
                root.chart.data.removeFilter(chartFilter);
                root.chart.data.removeFilter(navigatorFilter);
            }
        }
    }
}
