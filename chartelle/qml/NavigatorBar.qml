import QtQuick 2.15
import QtQuick.Controls.Material 2.15
import Chartelle 1.0
import "utils.js" as Utils

// An overview strip of the main chart's plotters over their whole range, with a window that
// marks the main chart's zoom and can be dragged or stretched. When the main zoom is too
// narrow to grab, the strip zooms itself and a scroll bar moves it. The strip draws the main
// chart's plotters beside plotters of its own (navChart.addPlotter), which the main chart
// does not show.
Item {
    id: root

    property var mainChartArea: null
    property alias navChart: nav
    readonly property int minWidth: 75
    readonly property real edgeGrip: 10

    // Pixel position of a chart x in the strip, and back.
    function toPixel(x) {
        var z = nav.zoomRect
        return z.width > 0 ? (x - z.x) / z.width * nav.width : 0
    }
    function toChart(px) {
        var z = nav.zoomRect
        return z.x + px / nav.width * z.width
    }

    function recalcWidth() {
        if (!mainChartArea || width <= 0)
            return
        var main = mainChartArea.zoomRect
        var all = mainChartArea.chartRect
        if (all.width <= 0)
            return
        if (main.width / all.width * width < minWidth) {
            var w = main.width * width / minWidth
            var left = nav.zoomRect.x
            if (main.x < left || main.x + main.width > left + w)
                left = main.x + main.width / 2 - w / 2
            left = Utils.bound(left, all.x, all.x + all.width - w)
            nav.zoomRect = Qt.rect(left, nav.chartRect.y, w, nav.chartRect.height)
        } else {
            nav.resetZoomView()
        }
    }

    height: 58
    onWidthChanged: recalcWidth()

    ChartArea {
        id: nav
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: scrollTrack.top
        adaptChartHeight: false
        sourceChart: root.mainChartArea
        onChartRectChanged: root.recalcWidth()
    }
    Rectangle {
        anchors.fill: nav
        color: "transparent"
        border.color: Material.color(Material.Grey, Material.Shade300)
    }

    Rectangle {
        id: window
        readonly property rect mainZoom: root.mainChartArea ? root.mainChartArea.zoomRect : Qt.rect(0, 0, 0, 0)
        x: Utils.bound(root.toPixel(mainZoom.x), 0, nav.width)
        width: Math.max(1, Utils.bound(root.toPixel(mainZoom.x + mainZoom.width), 0, nav.width) - x)
        height: nav.height
        color: "#4d4dc2e6"
    }

    MouseArea {
        id: windowMouse
        property string mode: ""
        anchors.fill: nav
        hoverEnabled: true
        cursorShape: mode !== "" || Math.abs(mouseX - window.x) < root.edgeGrip
                     || Math.abs(mouseX - window.x - window.width) < root.edgeGrip ? Qt.SizeHorCursor : Qt.ArrowCursor
        onPressed: {
            if (Math.abs(mouse.x - window.x) < root.edgeGrip)
                mode = "left"
            else if (Math.abs(mouse.x - window.x - window.width) < root.edgeGrip)
                mode = "right"
            else
                mode = "drag"
            positionChanged(mouse)
        }
        onPositionChanged: {
            if (!pressed || !root.mainChartArea)
                return
            var main = root.mainChartArea
            var z = main.zoomRect
            var all = main.chartRect
            var x = Utils.bound(root.toChart(mouse.x), all.x, all.x + all.width)
            if (mode === "drag") {
                var left = Utils.bound(x - z.width / 2, all.x, all.x + all.width - z.width)
                main.zoomRect = Qt.rect(left, z.y, z.width, z.height)
            } else if (mode === "left") {
                var right = z.x + z.width
                if (x < right)
                    main.zoomRect = Qt.rect(x, 0, right - x, z.height)
            } else if (mode === "right") {
                if (x > z.x)
                    main.zoomRect = Qt.rect(z.x, 0, x - z.x, z.height)
            }
        }
        onReleased: {
            mode = ""
            root.recalcWidth()
        }
        onWheel: {
            if (!(wheel.buttons & Qt.MiddleButton) && !(wheel.modifiers & Qt.ShiftModifier)) {
                wheel.accepted = false
                return
            }
            scrollTrack.scrollBy(wheel.angleDelta.y / nav.width * nav.zoomRect.width)
        }
    }

    Rectangle {
        id: scrollTrack
        readonly property real ratio: nav.chartRect.width > 0 ? nav.zoomRect.width / nav.chartRect.width : 1
        function scrollBy(dx) {
            var z = nav.zoomRect
            var all = nav.chartRect
            var left = Utils.bound(z.x + dx, all.x, all.x + all.width - z.width)
            nav.zoomRect = Qt.rect(left, z.y, z.width, z.height)
        }
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: 6
        visible: ratio < 0.999
        color: Material.color(Material.Grey, Material.Shade200)

        MouseArea {
            anchors.fill: parent
            onClicked: {
                var all = nav.chartRect
                var target = all.x + mouse.x / width * all.width
                scrollTrack.scrollBy(target - nav.zoomRect.width / 2 - nav.zoomRect.x)
            }
        }
        Rectangle {
            id: thumb
            height: parent.height
            radius: 3
            width: Math.max(40, parent.width * scrollTrack.ratio)
            x: nav.chartRect.width > 0
               ? (nav.zoomRect.x - nav.chartRect.x) / nav.chartRect.width * (parent.width - width) / Math.max(1e-9, 1 - scrollTrack.ratio)
               : 0
            color: Material.color(Material.Grey, Material.Shade500)
            MouseArea {
                property real lastX: 0
                anchors.fill: parent
                onPressed: lastX = mouse.x
                onPositionChanged: {
                    var dx = (mouse.x - lastX) / (scrollTrack.width - thumb.width)
                             * nav.chartRect.width * (1 - scrollTrack.ratio)
                    scrollTrack.scrollBy(dx)
                }
            }
        }
    }
}
