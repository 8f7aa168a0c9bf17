import QtQuick 2.15
import QtQuick.Shapes 1.15
import QtGraphicalEffects 1.0

// A balloon: a rounded box on a downward triangle, with a soft shadow.
Item {
    id: root

    default property alias content: box.data

    width: 110
    height: 65

    Item {
        id: balloon
        anchors.fill: parent
        visible: false
        Rectangle {
            id: box
            width: parent.width
            height: parent.height * 0.8
            radius: 4
            color: "white"
        }
        Shape {
            anchors.fill: parent
            ShapePath {
                fillColor: "white"
                strokeWidth: -1
                startX: root.width / 2 - 8; startY: root.height * 0.8
                PathLine { x: root.width / 2 + 8; y: root.height * 0.8 }
                PathLine { x: root.width / 2; y: root.height }
                PathLine { x: root.width / 2 - 8; y: root.height * 0.8 }
            }
        }
    }
    DropShadow {
        anchors.fill: balloon
        source: balloon
        horizontalOffset: 3
        verticalOffset: 3
        radius: 8
        samples: 17
        color: "#80000000"
    }
}
