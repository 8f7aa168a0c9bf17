import QtQuick 2.15
import Chartelle 1.0

Item {
    width: 800
    height: 500

    SPlotQML {
        id: plot
        objectName: "plot"
        anchors.fill: parent
        enableLegend: false
        updateIntervalMs: 0

        BarPlotterDx {
            objectName: "bars"
            chartArea: plot.refChartArea
            color: "red"
        }
    }
}
