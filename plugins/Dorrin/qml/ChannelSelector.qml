// A channel and edge of the preview: "SYNC F", "SYNC R", then "CH<i> F" and "CH<i> R". Entry
// 2c is channel c on its falling edge, entry 2c + 1 on its rising edge.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../qml/utils"
import "ttmrules.js" as Rules

Row {
    id: root

    property string caption: ""
    property int numCh: 0
    property int channel: 0
    property int edge: Rules.FALLING
    property alias selector: combo

    signal chosen(int channel, int edge)

    spacing: 6

    Label {
        anchors.verticalCenter: parent.verticalCenter
        text: root.caption
        font.bold: true
        color: Style.textDim
    }

    ComboBox {
        id: combo
        objectName: root.objectName + "Combo"
        width: 120
        model: Rules.selectorLabels(root.numCh)
        currentIndex: Rules.entryOf(root.channel, root.edge)
        onActivated: root.chosen(Rules.entryChannel(index), Rules.entryEdge(index))
    }
}
