// Copies chosen parameter groups of one legacy histogram to others.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../../../qml/utils"
import "../utils/legacyfiles.js" as Files

StandardDialog {
    id: root

    property var source: null
    property var models: []
    property var groups: noGroups()
    property var targets: []

    signal copyRequested(var source, var targets, var groups)

    readonly property bool allGroups: {
        for (var k in groups)
            if (!groups[k])
                return false;
        return true;
    }

    function noGroups() {
        var g = {};
        for (var i = 0; i < Files.copyGroups.length; ++i)
            g[Files.copyGroups[i].key] = false;
        return g;
    }

    function openFor(hist) {
        source = hist;
        groups = noGroups();
        targets = [];
        open();
    }

    function setGroup(key, on) {
        var next = Object.assign({}, groups);
        next[key] = on;
        groups = next;
    }

    function setAllGroups(on) {
        var next = {};
        for (var k in groups)
            next[k] = on;
        groups = next;
    }

    function setTarget(hist, on) {
        var next = targets.filter(function(t) { return t !== hist; });
        if (on)
            next.push(hist);
        targets = next;
    }

    dialogTitle: "Copy parameters from " + (source ? source.name : "")
    objectName: "copyDialog"

    Row {
        padding: 16
        spacing: 24
        Column {
            spacing: 0
            Label { text: "PARAMETERS"; font.bold: true; color: Style.textDim }
            CheckBox {
                objectName: "allGroupsBox"
                text: "All"
                checked: root.allGroups
                onToggled: root.setAllGroups(checked)
            }
            Repeater {
                model: Files.copyGroups
                delegate: CheckBox {
                    objectName: "group_" + modelData.key
                    text: modelData.text
                    checked: root.groups[modelData.key]
                    onToggled: root.setGroup(modelData.key, checked)
                }
            }
        }
        Column {
            spacing: 0
            Label { text: "COPY TO"; font.bold: true; color: Style.textDim }
            Repeater {
                model: root.models
                delegate: CheckBox {
                    objectName: "target_" + index
                    text: modelData.name + (modelData.isTimeTrigActive ? " (Time Trigger ON)" : "")
                    enabled: modelData !== root.source && !modelData.isTimeTrigActive
                    checked: root.targets.indexOf(modelData) >= 0
                    onToggled: root.setTarget(modelData, checked)
                }
            }
            StandardButton {
                objectName: "copyButton"
                text: "COPY"
                enabled: root.targets.length > 0
                onClicked: root.copyRequested(root.source, root.targets, root.groups)
            }
        }
    }
}
