// Stands in for the legacy TimeTriggerModel: its properties and a record of the histograms
// handed to it; a run ends when the test says so.
import QtQuick 2.15

QtObject {
    property url folder: "file:///tmp"
    property string subFolder: ""
    property string filePrefix: ""
    property string savePath: ""
    property var extension: [".csv"]
    property bool enableTimeTrigger: false
    property int timeInterval: 0
    property int repetition: 0
    property var histModels: []
    property int windowsSaved: 0
    property int elapsedTime: 0
    property real savedFilesSize: 0
    property var completed: []

    signal exportHistogram(string path)

    function exportComplete(ext) { completed.push(String(ext)); }
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
                histModels[i].startTimeTrigger(timeInterval);
            else
                histModels[i].disableTimeTrigger();
        }
    }
}
