// All legacy histograms as pages, one card each, turned with the page indicator or by swiping.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../../qml/utils"

Item {
    id: root

    property var models: []
    property var view: null
    property alias currentIndex: pages.currentIndex

    objectName: "legacySwipeList"

    SwipeView {
        id: pages
        anchors { fill: parent; margins: 12; bottomMargin: 40 }
        clip: true
        Repeater {
            model: root.models
            delegate: Item {
                BaseView {
                    anchors.fill: parent
                    title: modelData ? modelData.name : ""
                    Flickable {
                        anchors.fill: parent
                        contentHeight: controls.implicitHeight + 24
                        clip: true
                        OldHistogramControls {
                            id: controls
                            objectName: "legacyPage" + index
                            x: 12; y: 12
                            width: parent.width - 24
                            hist: modelData
                            view: root.view
                            inTable: false
                        }
                    }
                }
            }
        }
    }

    PageIndicator {
        anchors { horizontalCenter: parent.horizontalCenter; bottom: parent.bottom; bottomMargin: 8 }
        count: pages.count
        currentIndex: pages.currentIndex
        interactive: true
        onCurrentIndexChanged: pages.currentIndex = currentIndex
    }
}
