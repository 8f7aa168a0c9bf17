// The bars of one legacy histogram on one chart: the wrapper's container, a log10 node when
// the y axis is logarithmic (the legacy wrapper keeps no log copy of its counts), a moving
// average on the time-trigger chart, and a bar plotter. Destroying it takes the nodes off the
// wrapper's container first.
import QtQuick 2.15
import Chartelle 1.0
import "../utils/legacyview.js" as Rules

Item {
    id: root

    property var hist: null
    property var chartArea: null
    property bool logScale: false
    property bool smoothed: false
    readonly property int averageDepth: hist ? Rules.movingAverageDepth(Math.pow(2, hist.bin_addr_width)) : 1
    property color color: '#2f7ed8'
    property real xOffset: 0
    readonly property alias plotter: bars
    readonly property alias average: average
    readonly property alias logNode: logNode
    property var source: null

    function detach() {
        if (source) {
            source.removePlotter(bars);
            source.removeFilter(logNode);
            source.removeFilter(average);
        }
        logNode.removePlotter(bars);
        logNode.removeFilter(average);
        average.removePlotter(bars);
        source = null;
    }

    function attach() {
        detach();
        if (!hist || !hist.dataContainer)
            return;
        source = hist.dataContainer;
        var tail = source;
        if (logScale) {
            tail.addFilter(logNode);
            tail = logNode;
        }
        if (smoothed) {
            tail.addFilter(average);
            tail = average;
        }
        tail.addPlotter(bars);
    }

    visible: false
    onHistChanged: attach()
    onLogScaleChanged: attach()
    onSmoothedChanged: attach()
    Component.onCompleted: attach()
    Component.onDestruction: detach()

    Log10U64 { id: logNode }
    MovingAvarangeU64 {
        id: average
        depth: Math.max(1, root.averageDepth)
    }
    BarPlotter {
        id: bars
        chartArea: root.chartArea
        name: root.hist ? root.hist.name : ""
        color: root.color
        xOffset: root.xOffset
    }
}
