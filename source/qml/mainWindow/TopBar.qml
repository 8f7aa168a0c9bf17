// The bar above a window's view stack: the view's title, page arrows with an indicator when
// the view has several pages, and up to four action icons offered by the view.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "../utils"

Rectangle {
    id: root

    property string title: ""
    property int subViewIndex: 0
    property int subViewCount: 0
    property var modelIcon: []

    signal btn0Fired()
    signal btn1Fired()
    signal btn2Fired()
    signal btn3Fired()
    signal incrementIndex()
    signal decrementIndex()
    signal setSubViewIndex(int index)

    function fire(index) {
        switch (index) {
        case 0: btn0Fired(); break;
        case 1: btn1Fired(); break;
        case 2: btn2Fired(); break;
        case 3: btn3Fired(); break;
        }
    }

    implicitHeight: 56
    color: Style.topMenu.background

    Label {
        id: titleLabel
        objectName: "topBarTitle"
        anchors { left: parent.left; leftMargin: 20; verticalCenter: parent.verticalCenter }
        text: root.title
        color: Style.topMenu.text
        font.pixelSize: 20
        font.bold: true
    }

    Row {
        id: pager
        objectName: "topBarPager"
        anchors.centerIn: parent
        spacing: 8
        visible: root.subViewCount > 1

        ColoredIcon {
            objectName: "topBarPrevious"
            width: 30; height: 30
            anchors.verticalCenter: parent.verticalCenter
            sourceImage: "arrow-left"
            color: Style.topMenu.icon
            hoverable: true
            onClicked: root.decrementIndex()
        }

        PageIndicator {
            anchors.verticalCenter: parent.verticalCenter
            count: root.subViewCount
            currentIndex: root.subViewIndex
            interactive: true
            onCurrentIndexChanged: if (currentIndex !== root.subViewIndex) root.setSubViewIndex(currentIndex)
        }

        ColoredIcon {
            objectName: "topBarNext"
            width: 30; height: 30
            anchors.verticalCenter: parent.verticalCenter
            sourceImage: "arrow-right"
            color: Style.topMenu.icon
            hoverable: true
            onClicked: root.incrementIndex()
        }
    }

    Row {
        anchors { right: parent.right; rightMargin: 16; verticalCenter: parent.verticalCenter }
        spacing: 10
        Repeater {
            model: root.modelIcon ? root.modelIcon.slice(0, 4) : []
            delegate: ColoredIcon {
                objectName: "topBarButton" + index
                width: 30; height: 30
                visible: modelData && modelData.tooltip !== undefined && modelData.tooltip !== ""
                sourceImage: modelData ? modelData.icon : ""
                color: Style.topMenu.icon
                hoverable: true
                onClicked: root.fire(index)
                ToolTip.visible: hovered
                ToolTip.text: modelData && modelData.tooltip ? modelData.tooltip : ""
                ToolTip.delay: 400
            }
        }
    }

    Rectangle {
        anchors { left: parent.left; right: parent.right; bottom: parent.bottom }
        height: 1
        color: Style.lightGrey
    }
}
