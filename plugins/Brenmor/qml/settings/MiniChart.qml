// The small chart of one histogram in the settings views. A few bins go through the fixed
// decimator one point per bin; more bins are drawn as they are, every bin (the decimator
// would raise "no decimation" to a single point and draw one bar).
import QtQuick 2.15
import Chartelle 1.0
import "./../../../../qml/utils"
import "../utils/histfiles.js" as Files

Rectangle {
    id: root

    property var hist: null
    readonly property int points: hist ? Files.miniChartPoints(hist.numBins) : -1
    readonly property alias plotter: bars
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
            decimator.numPoint = points;
            source.addFilter(decimator);
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
