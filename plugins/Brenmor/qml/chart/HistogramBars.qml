// The bars of one histogram on one chart: its linear or log10 container, an optional moving
// average, the chart's pyramid decimator and a bar plotter. Destroying it takes the nodes off
// the wrapper's containers first.
import QtQuick 2.15
import Chartelle 1.0

Item {
    id: root

    property var hist: null
    property var chartArea: null
    property bool logScale: false
    property bool smoothed: false
    property int averageDepth: 1
    property color color: '#2f7ed8'
    property real xOffset: 0
    property bool legend: true
    readonly property alias plotter: bars
    readonly property alias average: average
    property var source: null

    function detach() {
        if (source) {
            source.removeFilter(average);
            source.removeFilter(decimator);
        }
        average.removeFilter(decimator);
        source = null;
    }

    function attach() {
        detach();
        if (!hist)
            return;
        source = logScale ? hist.logDataContainer : hist.dataContainer;
        if (!source)
            return;
        if (smoothed) {
            source.addFilter(average);
            average.addFilter(decimator);
        } else {
            source.addFilter(decimator);
        }
    }

    visible: false
    onLogScaleChanged: attach()
    onHistChanged: attach()
    Component.onCompleted: {
        decimator.addPlotter(bars);
        attach();
    }
    Component.onDestruction: detach()

    MovingAvarangeU64 {
        id: average
        depth: Math.max(1, root.averageDepth)
        // A new depth applies to the next block; push the current one through now.
        onDepthChanged: if (root.source && root.smoothed) average.data = root.source.data
    }
    DecimatorU64 {
        id: decimator
        chartArea: root.chartArea
    }
    BarPlotter {
        id: bars
        chartArea: root.chartArea
        name: root.hist ? root.hist.name : ""
        color: root.color
        xOffset: root.xOffset
        drawLayer: root.legend ? 1 : 2
        showLegend: root.legend
    }
}
