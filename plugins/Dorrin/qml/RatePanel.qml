// The event rate of the recording: a tick meter and the last 200 readings beside it, sampled
// every 100 ms.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../qml/utils"
import "./../../../qml/utils/functions.js" as Functions
import "ttmrules.js" as Rules

BaseView {
    id: root

    property var model: null
    readonly property int ticks: 15
    readonly property int historyLength: 200
    property real meter: 0
    property var history: []

    title: "RATE"

    function sample() {
        var rate = root.model ? root.model.integrationRate : 0;
        meter = Rules.meterValue(rate, ticks);
        var next = history.slice(history.length >= historyLength ? 1 : 0);
        next.push(meter);
        history = next;
    }

    Timer {
        interval: 100
        repeat: true
        running: root.visible
        onTriggered: root.sample()
    }

    Row {
        anchors.fill: parent
        anchors.margins: 6
        spacing: 12

        Item {
            width: height
            height: parent.height
            StandardCircularMeter {
                id: meterItem
                objectName: "ttmRateMeter"
                anchors.fill: parent
                tickNumber: root.ticks
                speed: root.meter
            }
            Label {
                objectName: "ttmRateText"
                anchors.centerIn: parent
                text: Functions.format_to_samplerate(root.model ? root.model.integrationRate : 0, true)
                font.pixelSize: 14
                font.bold: true
                color: Style.textColor
            }
        }

        Canvas {
            id: historyChart
            objectName: "ttmRateHistory"
            width: parent.width - height - 12
            height: parent.height
            property var points: root.history
            onPointsChanged: requestPaint()
            onPaint: {
                var ctx = getContext("2d");
                ctx.clearRect(0, 0, width, height);
                ctx.strokeStyle = Style.lightGrey;
                ctx.lineWidth = 1;
                ctx.strokeRect(0.5, 0.5, width - 1, height - 1);
                if (points.length < 2)
                    return;
                var step = width / (root.historyLength - 1);
                var x0 = width - (points.length - 1) * step;
                ctx.beginPath();
                ctx.moveTo(x0, height);
                for (var i = 0; i < points.length; ++i)
                    ctx.lineTo(x0 + i * step, height - points[i] / root.ticks * (height - 4));
                ctx.lineTo(width, height);
                ctx.closePath();
                ctx.fillStyle = Qt.rgba(1.0, 0.341, 0.133, 0.35);
                ctx.fill();
                ctx.strokeStyle = Style.accent;
                ctx.lineWidth = 1.5;
                ctx.stroke();
            }
        }
    }
}
