// Two faces, turned over in half a second.
import QtQuick 2.15

Flipable {
    id: root

    property bool flipped: false
    property int flipTime: 500

    transform: Rotation {
        id: rotation
        origin.x: root.width / 2
        origin.y: root.height / 2
        axis { x: 0; y: 1; z: 0 }
        angle: root.flipped ? 180 : 0
        Behavior on angle { NumberAnimation { duration: root.flipTime; easing.type: Easing.InOutQuad } }
    }
}
