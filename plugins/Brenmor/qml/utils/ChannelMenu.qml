// A channel-and-edge menu: "SYNC R" (when the sync input may be chosen) and a rising and a
// falling item per input channel. Shows the wrapper's pair; a choice is reported, not applied.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../../qml/utils"
import "channels.js" as Channels

ComboBox {
    id: root

    property int numCh: 1
    property bool withSync: false
    property int channel: 0
    property int edge: Channels.RISING
    property string lockedReason: ""

    signal picked(int channel, int edge)

    model: Channels.channelItems(numCh, withSync)
    textRole: "text"
    currentIndex: Channels.channelToIndex(channel, edge, withSync)
    displayText: currentIndex >= 0 ? model[currentIndex].text : "--"
    implicitWidth: 120

    onActivated: {
        var pair = Channels.indexToChannel(index, withSync);
        // The menu shows the wrapper's pair again until the wrapper reports the change.
        currentIndex = Qt.binding(function() { return Channels.channelToIndex(root.channel, root.edge, root.withSync); });
        if (pair.channel !== channel || pair.edge !== edge)
            picked(pair.channel, pair.edge);
    }

    delegate: ItemDelegate {
        width: root.width
        highlighted: root.highlightedIndex === index
        contentItem: Row {
            spacing: 8
            ColoredIcon {
                width: 18; height: 18
                anchors.verticalCenter: parent.verticalCenter
                sourceImage: Channels.edgeIcon(modelData.text)
                color: Style.blueGrey
            }
            Label { text: modelData.text; anchors.verticalCenter: parent.verticalCenter }
        }
    }

    ToolTip.visible: lockedReason !== "" && hovered
    ToolTip.text: lockedReason
}
