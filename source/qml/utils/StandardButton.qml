import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import "."

RoundButton {
    id: root

    implicitWidth: 125
    implicitHeight: 45
    radius: 4
    Material.background: enabled ? Style.accent : Style.lightGrey
    Material.foreground: "white"
    font.bold: true
}
