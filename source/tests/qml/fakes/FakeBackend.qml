// Stands in for the backend wrapper: a device list, connection state and plugin modules
// that the tests set directly, and a record of the calls the shell makes.
import QtQuick 2.15

QtObject {
    id: root

    property var deviceListMap: []
    property bool isConnected: false
    property bool isConnecting: false
    property int connectedDevice: -1
    property var pluginModule: []
    property string fwCompileTime: "No board connected"
    property string fwTag: "No board connected"
    property string libTDCVersion: "0.0.1"
    property string libTDCBuildInfo: "tdc test"
    property string libVETRAVersion: "0.0.2"
    property string libVETRABuildInfo: "vetra test"
    property var calls: []

    signal loadGUISettings()
    signal connectionResult(int res)

    function connectToDevice(index) { calls.push("connectToDevice(" + index + ")"); }
    function disconnectDevice() { calls.push("disconnectDevice"); }
    function saveSettings() { calls.push("saveSettings"); }

    function getModelByUUID(uuid) {
        for (var i = 0; i < pluginModule.length; ++i) {
            var list = pluginModule[i].modelList;
            for (var j = 0; j < list.length; ++j)
                if (list[j].modelUUID === uuid)
                    return list[j];
        }
        return null;
    }

    // Test helpers: connect with the given plugin modules, and disconnect.
    function simulateConnect(modules, index) {
        pluginModule = modules;
        connectedDevice = index === undefined ? 0 : index;
        isConnected = true;
        connectionResult(2);
    }

    function simulateDisconnect() {
        connectedDevice = -1;
        isConnected = false;
        connectionResult(3);
        for (var i = 0; i < pluginModule.length; ++i)
            pluginModule[i].modelList = [];
    }
}
