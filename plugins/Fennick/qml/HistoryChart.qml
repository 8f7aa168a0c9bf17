// The rate history of one channel as filled areas: raw input behind, processed in front.
import QtQuick 2.15
import "./../../qml/utils"

Canvas {
    id: root

    property var processed: []
    property var input: []

    implicitWidth: 170
    implicitHeight: 120

    onProcessedChanged: requestPaint()
    onInputChanged: requestPaint()

    function scaleOf() {
        var top = 1;
        var lists = [processed || [], input || []];
        for (var l = 0; l < lists.length; ++l)
            for (var i = 0; i < lists[l].length; ++i)
                if (lists[l][i] > top)
                    top = lists[l][i];
        return top;
    }

    function area(ctx, points, top, fill, stroke) {
        if (!points || points.length < 2)
            return;
        var step = width / (points.length - 1);
        ctx.beginPath();
        ctx.moveTo(0, height);
        for (var i = 0; i < points.length; ++i)
            ctx.lineTo(i * step, height - points[i] / top * height);
        ctx.lineTo(width, height);
        ctx.closePath();
        ctx.fillStyle = fill;
        ctx.fill();
        ctx.strokeStyle = stroke;
        ctx.lineWidth = 1.5;
        ctx.stroke();
    }

    onPaint: {
        var ctx = getContext("2d");
        ctx.clearRect(0, 0, width, height);
        var top = scaleOf();
        area(ctx, input, top, Qt.rgba(0.376, 0.490, 0.545, 0.35), Style.blueGrey);
        area(ctx, processed, top, Qt.rgba(1.0, 0.341, 0.133, 0.35), Style.accent);
    }
}
