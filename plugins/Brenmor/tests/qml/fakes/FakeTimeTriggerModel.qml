// Stands in for TimeTriggerModel: its properties, a record of the histograms handed to it,
// and a run that the test ends or feeds by hand.
import QtQuick 2.15

QtObject {
    property url folder: "file:///tmp"
    property string subFolder: ""
    property string filePrefix: ""
    property string savePath: ""
    property var extension: [".png", ".jpeg"]
    property bool enableTimeTrigger: false
    property int elapsedTime: 10
    property int repetition: 0
    property int refreshPeriod: 50
    property int lostWindows: 0
    property int winNum: 0
    property bool singleCSV: false
    property real savedFilesSize: 0
    property var histModels: []
    property string unit: "s"
    property real convFactor: 1.0
    property real convOffset: 0.0
    property var completed: []

    signal exportHistogram(string path)

    function exportComplete(path) { completed.push(String(path)); }
    function abortTimeTrigger() {}
    function addHistModel(hist) { histModels.push(hist); }
    function removeHistModel(hist) {
        var at = histModels.indexOf(hist);
        if (at >= 0)
            histModels.splice(at, 1);
    }
    function clearHistModels() { histModels = []; }

    onEnableTimeTriggerChanged: {
        for (var i = 0; i < histModels.length; ++i) {
            if (enableTimeTrigger)
                histModels[i].startTimeTrigger();
            else
                histModels[i].disableTimeTrigger();
        }
    }
}
