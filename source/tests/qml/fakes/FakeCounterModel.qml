// Stands in for a counter model: histories the test fills, and the setters the view calls.
import QtQuick 2.15

QtObject {
    property string modelUUID: "{00000000-0000-0000-0000-000000000001}"
    property string hwVersion: "v1.0.0"
    property string swVersion: "v2.0.0"
    property bool autopush: false
    property real integrationTime: 0.2
    property var counters: []
    property string counterType: "BeltBus"

    function setAutopush(on) { autopush = on; }
    function setIntegrationTime(t) { integrationTime = t; }
    function setModelUUID(uuid) { modelUUID = uuid; }
}
