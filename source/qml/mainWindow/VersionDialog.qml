// Versions of the program, its libraries, every plugin and the board's firmware.
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "../utils"
import "versiontext.js" as VersionText

Popup {
    id: root

    readonly property bool releaseBuild: typeof tessaronReleaseBuild !== "undefined" && tessaronReleaseBuild
    property var moduleRows: []

    objectName: "versionDialog"
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside
    anchors.centerIn: Overlay.overlay
    width: 640
    padding: 20

    onAboutToShow: moduleRows = VersionText.moduleRows(tdc_backed.pluginModule, tdc_backed.isConnected)

    component SectionTitle: Label {
        font.bold: true
        font.pixelSize: 16
        color: Style.accent
        topPadding: 8
    }
    component InfoRow: RowLayout {
        property alias key: keyLabel.text
        property alias value: valueLabel.text
        width: parent ? parent.width : 600
        spacing: 16
        Label {
            id: keyLabel
            font.bold: true
            color: Style.textColor
            Layout.preferredWidth: 140
        }
        Label {
            id: valueLabel
            color: Style.textDim
            wrapMode: Text.WrapAnywhere
            Layout.fillWidth: true
        }
    }

    background: Rectangle { color: Style.dialog.background; radius: 4 }

    contentItem: Column {
        spacing: 4

        SectionTitle { text: "Tessaron and its libraries" }
        InfoRow {
            key: "Tessaron"
            value: VersionText.versionWithBuild(typeof tessaronVersion !== "undefined" ? tessaronVersion : "",
                                                typeof tessaronBuildInfo !== "undefined" ? tessaronBuildInfo : "",
                                                root.releaseBuild)
        }
        InfoRow {
            key: "libTDC"
            value: VersionText.versionWithBuild(tdc_backed.libTDCVersion, tdc_backed.libTDCBuildInfo, root.releaseBuild)
        }
        InfoRow {
            key: "libVETRA"
            value: VersionText.versionWithBuild(tdc_backed.libVETRAVersion, tdc_backed.libVETRABuildInfo, root.releaseBuild)
        }

        SectionTitle { text: "TDCModules version" }
        Repeater {
            model: root.moduleRows
            delegate: InfoRow {
                key: modelData.name
                value: modelData.frontend + "    " + modelData.backend + "    " + modelData.firmware
            }
        }

        SectionTitle { text: "Firmware informations" }
        InfoRow { key: "Compile time"; value: tdc_backed.fwCompileTime }
        InfoRow { key: "Name"; value: VersionText.tagName(tdc_backed.fwTag) }
        InfoRow { objectName: "firmwareRepo"; key: "Repo"; value: VersionText.tagField(tdc_backed.fwTag, "repo") }
        InfoRow { objectName: "firmwareHash"; key: "Hash"; value: VersionText.tagField(tdc_backed.fwTag, "SHA") }
        InfoRow { objectName: "firmwareBranch"; key: "Branch"; value: VersionText.tagField(tdc_backed.fwTag, "branch") }
    }
}
