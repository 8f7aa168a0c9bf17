// A plugin view with models, its own settings and a record of what it was given and asked.
import QtQuick 2.15
import "qrc:/qml/utils"

PluginView {
    property string note: ""
    property var fired: []
    modelIcon: [{ icon: "save", tooltip: "Save" }, { icon: "open", tooltip: "Open" }, { icon: "list", tooltip: "List" }]

    function saveSettings() { settings.setValue("note", note); }
    function loadSettings() { note = String(settings.value("note", "")); }

    Connections {
        target: topWindowBar
        function onBtn0Fired() { fired.push("btn0"); }
        function onBtn1Fired() { fired.push("btn1"); }
        function onBtn2Fired() { fired.push("btn2"); }
    }
}
