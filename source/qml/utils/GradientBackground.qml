// A softly shaded panel background; lighter while its owner is hovered.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "."

Pane {
    id: root

    property real radius: 3
    property bool parentHovered: false

    background: Rectangle {
        radius: root.radius
        gradient: Gradient {
            GradientStop { position: 0.0; color: root.parentHovered ? "#ffffff" : "#fafafa" }
            GradientStop { position: 1.0; color: root.parentHovered ? "#f1f3f4" : "#e8eaed" }
        }
    }
}
