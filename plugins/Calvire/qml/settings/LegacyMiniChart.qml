// The small chart of one legacy histogram in the settings views. A few bins go through the
// fixed decimator one point per bin; more are drawn as they are, every bin.
import QtQuick 2.15
import Chartelle 1.0
import "./../../../../qml/utils"
import "../utils/legacyview.js" as Rules

Rectangle {
    id: root

    property var hist: null
    readonly property int bins: hist ? Math.pow(2, hist.bin_addr_width) : 0
    readonly property int points: Rules.miniChartPoints(bins)
    readonly property alias plotter: bars
    readonly property alias decimator: decimator
    property var source: null

    function detach() {
        if (source) {
            source.removeFilter(decimator);
            source.removePlotter(bars);
        }
        decimator.removePlotter(bars);
        source = null;
    }

    // A hidden chart takes no data: drawing every bin of every histogram costs the GUI thread.
    function attach() {
        detach();
        if (!hist || !hist.dataContainer || !visible)
            return;
        source = hist.dataContainer;
        if (points > 0) {
            source.addFilter(decimator);
            // The decimator keeps its point count within its source's bins.
            decimator.numPoint = points;
            decimator.addPlotter(bars);
        } else {
            source.addPlotter(bars);
        }
    }

    implicitWidth: 160
    implicitHeight: 40
    color: Style.subView.background
    border.color: Style.subView.border
    objectName: "miniChart"

    onHistChanged: attach()
    onPointsChanged: attach()
    onVisibleChanged: attach()
    Component.onCompleted: attach()
    Component.onDestruction: detach()

    ChartArea {
        id: chart
        anchors.fill: parent
        anchors.margins: 2
        updateIntervalMs: 200
    }
    FixedDecimatorU64 { id: decimator }
    BarPlotter {
        id: bars
        chartArea: chart
        color: Style.accent
        showLegend: false
    }
}
