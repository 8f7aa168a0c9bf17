// One control of a histogram's settings with its caption above it (captions are left out in
// the table, whose header carries them).
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../../qml/utils"

Column {
    id: root

    property string caption: ""
    property bool showCaption: true
    default property alias content: holder.data

    spacing: 2

    Label {
        visible: root.showCaption && root.caption !== ""
        text: root.caption
        font.pixelSize: 11
        font.bold: true
        color: Style.textDim
    }
    Item {
        id: holder
        width: root.width
        height: childrenRect.height
    }
}
