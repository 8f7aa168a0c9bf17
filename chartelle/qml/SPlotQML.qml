import QtQuick 2.15
import QtQuick.Controls.Material 2.15
import Chartelle 1.0
import "utils.js" as Utils

// A complete chart view: the main chart with axes, zoom by left-button drag, pan by middle or
// right-button drag, a navigator strip and a legend of the main chart's plotters.
Item {
    id: root

    property alias refChartArea: chart
    property alias refNavigator: navigator.navChart
    property alias refChartMouse: chartMouse
    property alias refLegend: legend
    property alias isYAxisLog: yAxis.isLogScale
    property alias updateIntervalMs: chart.updateIntervalMs
    readonly property alias xAxis: xAxis
    readonly property alias yAxis: yAxis
    property bool enableNavigatorBar: true
    property bool enableLegend: true
    // The chart follows its data until the user zooms or pans; "Zoom Fit" hands it back.
    property bool userZoomed: false

    // Ends every exportImage call exactly once, with the path as given; ok is false when the
    // view could not be grabbed or the file not written.
    signal exportComplete(string path, bool ok)

    function format_time(num, decimals) {
        return Utils.format_time(num, decimals === undefined ? 2 : decimals)
    }

    function legendPlotters() {
        var list = chart.plotter
        var out = []
        for (var i = 0; i < list.length; ++i) {
            if (list[i] && list[i].drawLayer === 1)
                out.push(list[i])
        }
        return out
    }

    function exportImage(path, upsize) {
        if (upsize === undefined)
            upsize = 1
        var given = String(path)
        var target = given
        if (target.indexOf("file://") === 0)
            target = decodeURIComponent(target.substring(7))
        var id = exports.begin(given)
        var started = false
        if (target.length > 0 && content.width > 0 && content.height > 0) {
            started = content.grabToImage(function(result) {
                exports.finish(id, result.saveToFile(target))
            }, Qt.size(content.width * upsize, content.height * upsize))
        }
        if (!started) {
            console.warn("Cannot grab the chart view for " + given)
            exports.finish(id, false)
        }
    }

    // Exports in flight: the background is shown while any is, and an export whose grab never
    // comes (a window that stops drawing) ends as failed after timeoutMs.
    QtObject {
        id: exports
        property var pending: ({})
        property int count: 0
        property int nextId: 0
        readonly property int timeoutMs: 10000

        function begin(path) {
            var id = ++nextId
            pending[id] = { path: path, started: Date.now() }
            ++count
            return id
        }
        function finish(id, ok) {
            var entry = pending[id]
            if (entry === undefined)
                return
            delete pending[id]
            --count
            root.exportComplete(entry.path, ok === true)
        }
        function expire() {
            var now = Date.now()
            for (var id in pending) {
                if (now - pending[id].started >= timeoutMs)
                    finish(id, false)
            }
        }
    }
    Timer {
        interval: 500
        repeat: true
        running: exports.count > 0
        onTriggered: exports.expire()
    }

    implicitWidth: 200
    implicitHeight: 200

    Item {
        id: content
        anchors.fill: parent

        // Drawn behind the chart only while an image is saved.
        Rectangle {
            id: exportBackground
            objectName: "exportBackground"
            anchors.fill: parent
            visible: exports.count > 0
            color: Material.background
        }

        ChartArea {
            id: chart
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.bottom: navigator.visible ? navigator.top : legend.top
            anchors.topMargin: 12
            anchors.leftMargin: yAxis.visible ? 60 : 12
            anchors.rightMargin: 12
            anchors.bottomMargin: xAxis.visible ? 36 : 12
            onChartRectChanged: if (!root.userZoomed) resetZoomView()
            onZoomRectChanged: navigator.recalcWidth()
        }

        LinearYAxis {
            id: yAxis
            anchors.fill: chart
            rectArea: chart.zoomRect
            z: -1
        }
        LinearXAxis {
            id: xAxis
            anchors.left: chart.left
            anchors.right: chart.right
            anchors.top: chart.bottom
            rectArea: chart.zoomRect
            textFunction: root.format_time
        }

        MouseArea {
            id: chartMouse
            property real startX: 0
            property real startY: 0
            property bool dragging: false
            anchors.fill: chart
            acceptedButtons: Qt.LeftButton
            onPressed: {
                startX = mouse.x
                startY = mouse.y
                dragging = true
            }
            onReleased: {
                dragging = false
                if (mouse.y < startY) {
                    root.userZoomed = false
                    chart.resetZoomView()
                } else {
                    var l = Utils.bound(Math.min(startX, mouse.x), 0, chart.width)
                    var r = Utils.bound(Math.max(startX, mouse.x), 0, chart.width)
                    // A click without a drag still zooms to a valid, one pixel wide range.
                    if (r - l < 1) {
                        l = Utils.bound(l, 0, chart.width - 1)
                        r = l + 1
                    }
                    var z = chart.zoomRect
                    var x0 = l / chart.width * z.width + z.x
                    var x1 = r / chart.width * z.width + z.x
                    root.userZoomed = true
                    chart.zoomRect = Qt.rect(x0, z.y, x1 - x0, z.height)
                }
                navigator.recalcWidth()
            }

            Rectangle {
                visible: chartMouse.dragging
                x: Math.min(chartMouse.startX, chartMouse.mouseX)
                width: Math.abs(chartMouse.mouseX - chartMouse.startX)
                height: parent.height
                color: "#4d4dc2e6"
            }
            Rectangle {
                visible: chartMouse.dragging
                x: chartMouse.startX - 3
                y: chartMouse.startY - 3
                width: 6
                height: 6
                radius: 3
                color: "red"
            }
            Rectangle {
                visible: chartMouse.dragging
                readonly property real dx: chartMouse.mouseX - chartMouse.startX
                readonly property real dy: chartMouse.mouseY - chartMouse.startY
                x: chartMouse.startX
                y: chartMouse.startY
                width: Math.sqrt(dx * dx + dy * dy)
                height: 1
                color: "red"
                transformOrigin: Item.TopLeft
                rotation: Math.atan2(dy, dx) * 180 / Math.PI
            }
            Text {
                visible: chartMouse.dragging
                x: chartMouse.mouseX + 8
                y: chartMouse.mouseY - 16
                text: chartMouse.mouseY < chartMouse.startY ? "Zoom Fit" : "Zoom In"
                color: Material.foreground
            }
        }
        MouseArea {
            id: panMouse
            property real lastX: 0
            anchors.fill: chart
            z: -1
            acceptedButtons: Qt.MiddleButton | Qt.RightButton
            onPressed: lastX = mouse.x
            onPositionChanged: {
                var z = chart.zoomRect
                var all = chart.chartRect
                if (chart.width <= 0)
                    return
                var dx = (lastX - mouse.x) * z.width / chart.width
                lastX = mouse.x
                var left = Utils.bound(z.x + dx, all.x, all.x + all.width - z.width)
                root.userZoomed = true
                chart.zoomRect = Qt.rect(left, z.y, z.width, z.height)
            }
        }

        NavigatorBar {
            id: navigator
            visible: root.enableNavigatorBar
            height: visible ? 58 : 0
            mainChartArea: chart
            anchors.left: chart.left
            anchors.right: chart.right
            anchors.bottom: legend.top
            anchors.bottomMargin: 6 + 18
        }
        Text {
            visible: navigator.visible
            anchors.left: navigator.left
            anchors.top: navigator.bottom
            font.pointSize: 8
            color: Material.color(Material.Grey, Material.Shade700)
            text: xAxis.label(navigator.navChart.zoomRect.x)
        }
        Text {
            visible: navigator.visible
            anchors.right: navigator.right
            anchors.top: navigator.bottom
            font.pointSize: 8
            color: Material.color(Material.Grey, Material.Shade700)
            text: xAxis.label(navigator.navChart.zoomRect.x + navigator.navChart.zoomRect.width)
        }

        HorizontalLegend {
            id: legend
            visible: root.enableLegend
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            anchors.bottomMargin: visible ? 12 : 6
            height: visible ? implicitHeight : 0
            plotterList: root.legendPlotters()
            Connections {
                target: chart
                function onPlotterChanged() { legend.plotterList = root.legendPlotters() }
            }
        }
    }
}
