// Another plugin's chart view: the same view type, its own object name.
import QtQuick 2.15

Item {
    objectName: "legacyChartView"
    property var tdcModelData: []
    property var mainWindow: null
    property var histModels: tdcModelData
}
