import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import QtQuick.Layouts 1.15
import Chartelle 1.0

// Three charts in one window: random histograms ("normal" and "white") through a pyramid
// decimator, a number file, and bars of varying widths.
ApplicationWindow {
    id: root

    property alias randomPlot: randomPlot
    property alias filePlot: filePlot
    property alias barPlot: barPlot
    property alias currentTab: tabs.currentIndex

    width: 1200
    height: 860
    visible: true
    title: "Chartelle gallery"
    Material.theme: Material.Light

    // Widths grow geometrically so that the bars span several decades of x.
    function variableBars() {
        var out = []
        var width = 1e-9
        for (var k = 0; k < 60; ++k) {
            out.push(width)
            out.push(50 + 40 * Math.sin(k / 4) + k)
            width *= 1.08
        }
        return out
    }

    header: TabBar {
        id: tabs
        TabButton { text: "Random" }
        TabButton { text: "File" }
        TabButton { text: "Bars" }
    }

    StackLayout {
        anchors.fill: parent
        currentIndex: tabs.currentIndex

        SPlotQML {
            id: randomPlot
            objectName: "randomPlot"

            RandomU64Data {
                id: normalData
                type: "normal"
                numBin: 65536
                interval: 200
                area: Qt.rect(0, 0, 65536 * 1e-12, 0)
            }
            RandomU64Data {
                id: whiteData
                type: "white"
                append: false
                numBin: 65536
                interval: 200
                area: Qt.rect(0, 0, 65536 * 1e-12, 0)
            }
            DecimatorU64 { id: normalDecimator; chartArea: randomPlot.refChartArea }
            DecimatorU64 { id: whiteDecimator; chartArea: randomPlot.refChartArea }
            AreaPlotter {
                id: normalPlotter
                name: "normal"
                chartArea: randomPlot.refChartArea
                enableGradient: true
                gradientColor: "#1007cbf2"
            }
            AreaPlotter {
                id: whitePlotter
                name: "white"
                chartArea: randomPlot.refChartArea
                color: "#80ff9800"
                borderColor: "#ff9800"
                borderWidth: 1
            }
            Component.onCompleted: {
                normalData.addFilter(normalDecimator)
                normalDecimator.addPlotter(normalPlotter)
                whiteData.addFilter(whiteDecimator)
                whiteDecimator.addPlotter(whitePlotter)
            }
        }

        SPlotQML {
            id: filePlot
            objectName: "filePlot"

            SCSVReader {
                id: reader
                binWidth: 1e-9
            }
            AreaPlotter {
                id: filePlotter
                name: "file"
                chartArea: filePlot.refChartArea
                color: "#804caf50"
                borderColor: "#388e3c"
            }
            Component.onCompleted: {
                reader.addPlotter(filePlotter)
                reader.file = sampleCsvPath
            }
        }

        SPlotQML {
            id: barPlot
            objectName: "barPlot"

            BarPlotterDx {
                id: bars
                name: "variable width"
                chartArea: barPlot.refChartArea
                color: "#c0e91e63"
            }
            BarDecorator {
                id: decorator
                chartArea: barPlot.refChartArea
                drawLayer: 2
                showLegend: false
            }
            // Hovering a bar highlights it and shows its range and height.
            MouseArea {
                id: hover
                x: barPlot.refChartArea.x
                y: barPlot.refChartArea.y
                width: barPlot.refChartArea.width
                height: barPlot.refChartArea.height
                acceptedButtons: Qt.NoButton
                hoverEnabled: true
                onPositionChanged: {
                    decorator.mouseX = mouse.x
                    decorator.mouseY = mouse.y
                }
                onContainsMouseChanged: decorator.active = containsMouse
            }
            ChartTooltip {
                id: tip
                readonly property var info: decorator.infoMap.length > 0 ? decorator.infoMap[0] : null
                visible: hover.containsMouse && info !== null
                x: barPlot.refChartArea.x + hover.mouseX - width / 2
                y: barPlot.refChartArea.y + hover.mouseY - height - 4
                Text {
                    anchors.centerIn: parent
                    horizontalAlignment: Text.AlignHCenter
                    font.pointSize: 8
                    text: tip.info
                          ? barPlot.format_time(tip.info.rect.x) + "\n" + barPlot.format_time(tip.info.rect.width)
                            + " wide\n" + tip.info.rect.height.toFixed(1)
                          : ""
                }
            }
            Component.onCompleted: {
                bars.data = root.variableBars()
                decorator.addPlotter(bars)
            }
        }
    }
}
