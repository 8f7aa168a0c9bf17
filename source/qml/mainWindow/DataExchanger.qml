// The only channel between views: a consumer starts an exchange of one data item of one
// module, the producer is asked once to start and once to stop, whatever the number of
// consumers, and publishes through exchangeData.
import QtQuick 2.15

QtObject {
    id: root

    // module name -> data item name -> number of active requesters
    property var requesters: ({})

    signal exchangeData(var data)
    signal exchangeDataReq(var request)

    function activeCount(module, dataId) {
        var items = requesters[module];
        return (items && items[dataId]) ? items[dataId] : 0;
    }

    function request(module, dataId, type) {
        var message = {};
        message[module] = { "data_id": dataId, "type": type };
        exchangeDataReq(message);
    }

    function startExchangeData(module, dataId) {
        if (!requesters[module])
            requesters[module] = {};
        var count = requesters[module][dataId] || 0;
        requesters[module][dataId] = count + 1;
        console.log("Start exchange of", dataId, "from", module, "requesters:", count + 1);
        if (count === 0)
            request(module, dataId, "start");
    }

    function stopExchangeData(module, dataId) {
        var count = activeCount(module, dataId);
        if (count === 0) {
            console.warn("Stop exchange of", dataId, "from", module, "without a start");
            return;
        }
        console.log("Stop exchange of", dataId, "from", module, "requesters:", count - 1);
        if (count > 1) {
            requesters[module][dataId] = count - 1;
            return;
        }
        delete requesters[module][dataId];
        if (Object.keys(requesters[module]).length === 0)
            delete requesters[module];
        request(module, dataId, "stop");
    }
}
