// A tinted icon: a glyph of the icon font for a known name, otherwise the image at the URL
// coloured with an overlay.
import QtQuick 2.15
import QtGraphicalEffects 1.0
import "."

Item {
    id: root

    property string sourceImage: ""
    property bool hoverable: false
    readonly property bool hovered: hoverable && mouse.containsMouse
    property bool mirror: false
    property size sourceSize: Qt.size(24, 24)
    property color color: Style.leftMenu.icon
    property color hoverColor: Style.accent
    readonly property var resolved: Style.resolveIcon(sourceImage)
    readonly property bool isGlyph: resolved.glyph !== ""

    signal clicked()

    implicitWidth: sourceSize.width
    implicitHeight: sourceSize.height

    Text {
        id: glyph
        anchors.centerIn: parent
        visible: root.isGlyph
        text: root.resolved.glyph
        font.family: Style.iconFontFamily
        font.pixelSize: Math.min(root.width, root.height)
        color: root.hovered ? root.hoverColor : root.color
        transform: Scale { origin.x: glyph.width / 2; xScale: root.mirror ? -1 : 1 }
    }

    Image {
        id: image
        anchors.fill: parent
        visible: false
        source: root.isGlyph ? "" : root.resolved.url
        sourceSize: root.sourceSize
        fillMode: Image.PreserveAspectFit
        mirror: root.mirror
        smooth: true
    }

    ColorOverlay {
        anchors.fill: image
        source: image
        visible: !root.isGlyph && image.status === Image.Ready
        color: root.hovered ? root.hoverColor : root.color
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: root.hoverable
        enabled: root.hoverable
        cursorShape: root.hoverable ? Qt.PointingHandCursor : Qt.ArrowCursor
        onClicked: root.clicked()
    }
}
