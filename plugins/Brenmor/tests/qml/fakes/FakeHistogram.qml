// Stands in for a TDCHistogrammerWrapper: its properties and slots, applied at once (the real
// wrapper applies them on a worker thread), and a list of the calls the views make.
import QtQuick 2.15
import Chartelle 1.0

QtObject {
    id: root

    property string name: "Histogram 0"
    property string modelUUID: "{00000000-0000-0000-0000-000000000000}"
    property int refCH: 1
    property int refPolarity: 1
    property int measCH: 2
    property int measPolarity: 1
    property real leftBound: 0
    property real rightBound: 1e-8
    property real binWidth: 1e-11
    readonly property real windowFSR: rightBound - leftBound
    // Moving the window keeps its width, as the wrapper does.
    property real timeOffset: 0
    onTimeOffsetChanged: {
        record("setTimeOffset(" + timeOffset + ")");
        var w = windowFSR;
        leftBound = timeOffset;
        rightBound = timeOffset + w;
    }
    property int refreshPeriod: 50
    property bool isActive: false
    property bool isTimeTrigActive: false
    property real waitPause: 0
    property int numBins: 1000
    property int numGroups: 0
    property bool accumulate: false
    property bool multiHit: false
    property real maxFSR: 1e-3
    property real minFSR: 1e-9
    property real minOffset: -1e-3
    property real maxOffset: 1e-3
    property int bin_addr_width: 16
    property real mean: 5e-9
    property real std: 1e-10
    property real chartMean: 5e-9
    property real chartStd: 1e-10
    property real eventsRate: 12500
    property real integrationEvent: 2500
    property real integrationTime: 1500
    property real peak: 4e-9
    property real fwhm: 2e-10
    property real peakCounts: 321
    property bool edgesTrim: true
    property var calls: []
    property var zoomRect: Qt.rect(0, 0, 0, 0)
    property real xOffset: 0
    property var exported: []

    property Filter1D dataContainer: Filter1D { area: Qt.rect(root.leftBound, 0, root.windowFSR, 100) }
    property Filter1D logDataContainer: Filter1D { area: Qt.rect(root.leftBound, 0, root.windowFSR, 100) }

    function record(text) { calls.push(text); }
    function callsMatching(prefix) {
        return calls.filter(function(c) { return c.indexOf(prefix) === 0; });
    }

    function setRefCH(ch, edge) { record("setRefCH(" + ch + "," + edge + ")"); refCH = ch; refPolarity = edge; }
    function setMeasCH(ch, edge) { record("setMeasCH(" + ch + "," + edge + ")"); measCH = ch; measPolarity = edge; }
    function swapChannels() {
        record("swapChannels");
        if (refCH === 0)
            return;
        var c = refCH, e = refPolarity;
        refCH = measCH; refPolarity = measPolarity; measCH = c; measPolarity = e;
    }
    function setLeftBound(v) { record("setLeftBound(" + v + ")"); leftBound = v; }
    function setRightBound(v) { record("setRightBound(" + v + ")"); rightBound = v; }
    function setBinWidth(v) { record("setBinWidth(" + v + ")"); binWidth = v; }
    function setTimeOffset(v) { timeOffset = v; }
    function setrefreshPeriod(p) { record("setrefreshPeriod(" + p + ")"); refreshPeriod = p; }
    function setIsActive(b) { isActive = b; }
    function resetIntegration() { record("resetIntegration"); }
    function resetBtnFired() { record("resetBtnFired"); }
    function disableEdgesTrim() { record("disableEdgesTrim"); edgesTrim = false; }
    function enableEdgesTrim() { record("enableEdgesTrim"); edgesTrim = true; }
    function setZoomRect(r) { zoomRect = r; record("setZoomRect"); }
    function setXOffset(x) { xOffset = x; record("setXOffset(" + x + ")"); }
    function setNumGroups(n) { numGroups = n; }
    function startTimeTrigger() { if (!isActive && !isTimeTrigActive) isTimeTrigActive = true; }
    function disableTimeTrigger() { isTimeTrigActive = false; }
    property bool visibleEmpty: false
    function exportCSV(path) { exported.push("whole:" + path); return true; }
    function exportVisibleCSV(path) { exported.push("visible:" + path); return !visibleEmpty; }
    function alignTimeOffset() { return isFinite(peak) ? peak - windowFSR / 2 : NaN; }
}
