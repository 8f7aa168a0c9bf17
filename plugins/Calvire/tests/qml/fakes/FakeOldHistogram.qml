// Stands in for a TDCOldHistogrammerWrapper: its properties and slots, applied at once (the
// real wrapper applies some on a worker thread), and a list of the calls the views make.
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
    property real windowFSR: 1e-8
    property real binWidth: 1e-11
    property real timeOffset: 0
    property int bitTrunc: 0
    property int maxBitTrunc: 8
    property real maxFSR: 1e-3
    property int bin_addr_width: 10
    property bool autopush: false
    property bool forceAutopush: true
    property int refreshRate: 5
    property bool isActive: false
    property bool isTimeTrigActive: false
    property bool state: false
    property real mean: 5e-9
    property real std: 1e-10
    property real eventsRate: 12500
    property real integrationEvent: 2500
    property real integrationTime: 1500
    property var calls: []
    property var exported: []
    property var writes: []

    onRefCHChanged: writes.push("refCH")
    onRefPolarityChanged: writes.push("refPolarity")
    onMeasCHChanged: writes.push("measCH")
    onMeasPolarityChanged: writes.push("measPolarity")
    onWindowFSRChanged: writes.push("windowFSR")
    onBinWidthChanged: writes.push("binWidth")
    onTimeOffsetChanged: writes.push("timeOffset")
    onBitTruncChanged: writes.push("bitTrunc")

    property Filter1D dataContainer: Filter1D { area: Qt.rect(root.timeOffset, 0, root.windowFSR, 100) }

    function record(text) { calls.push(text); }
    function setRefCH(ch, edge) { record("setRefCH(" + ch + "," + edge + ")"); refCH = ch; refPolarity = edge; }
    function setMeasCH(ch, edge) { record("setMeasCH(" + ch + "," + edge + ")"); measCH = ch; measPolarity = edge; }
    function resetIntegration() { record("resetIntegration"); }
    function resetBtnFired() { record("resetBtnFired"); }
    function startTimeTrigger(seconds) { if (isActive) isTimeTrigActive = true; }
    function disableTimeTrigger() { isTimeTrigActive = false; }
    function exportCSV(path) { exported.push(String(path)); }
}
