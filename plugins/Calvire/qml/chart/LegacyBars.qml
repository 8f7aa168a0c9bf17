// The bars of one legacy histogram on one chart. Destroying it takes the plotter off the
// wrapper's container first.
import QtQuick 2.15
import Chartelle 1.0

Item {
    id: root

    property var hist: null
    property var chartArea: null
    property color color: '#2f7ed8'
    property real xOffset: 0
    readonly property alias plotter: bars
    property var source: null

    function detach() {
        if (source)
            source.removePlotter(bars);
        source = null;
    }

    function attach() {
        detach();
        if (!hist || !hist.dataContainer)
            return;
        source = hist.dataContainer;
        source.addPlotter(bars);
    }

    visible: false
    onHistChanged: attach()
    Component.onCompleted: attach()
    Component.onDestruction: detach()

    BarPlotter {
        id: bars
        chartArea: root.chartArea
        name: root.hist ? root.hist.name : ""
        color: root.color
        xOffset: root.xOffset
    }
}
