// Another plugin's chart view: the same view type, its own object name.
import QtQuick 2.15

Item {
    objectName: "legacyChartView"
    property var tdcModelData: []
    property var mainWindow: null
    // It holds every histogram, so only the object name can tell it apart.
    property var histModels: tdcModelData
}
