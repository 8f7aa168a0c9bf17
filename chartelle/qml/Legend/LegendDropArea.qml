import QtQuick 2.15

// A zone that takes a dragged legend: while one hovers, it shows a legend bar (horizontal or
// vertical) in an extension of extendLength; on drop the dragged source is destroyed and the
// bar stays.
Item {
    id: root

    property bool hDirection: true
    property int extendLength: 60
    property int extendDropArea: 50
    property var plotterList: []
    property Item legendItem: null
    property bool dropped: false

    implicitWidth: hDirection ? parent.width : extendDropArea
    implicitHeight: hDirection ? extendDropArea : parent.height

    Component {
        id: horizontalComponent
        HorizontalLegend {}
    }
    Component {
        id: verticalComponent
        VerticalLegend {}
    }

    DropArea {
        anchors.fill: parent
        onEntered: {
            if (root.legendItem)
                return
            var c = root.hDirection ? horizontalComponent : verticalComponent
            root.legendItem = c.createObject(root, {
                plotterList: root.plotterList,
                width: root.hDirection ? root.width : root.extendLength,
                height: root.hDirection ? root.extendLength : root.height
            })
        }
        onExited: {
            if (root.legendItem && !root.dropped) {
                root.legendItem.destroy()
                root.legendItem = null
            }
        }
        onDropped: {
            if (drop.source)
                drop.source.destroy()
            root.dropped = root.legendItem !== null
        }
    }
}
