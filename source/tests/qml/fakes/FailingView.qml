// A plugin view whose own save and load fail halfway, after writing a key.
import QtQuick 2.15
import "qrc:/qml/utils"

PluginView {
    function saveSettings() {
        settings.setValue("before", 1);
        throw new Error("save broke");
    }
    function loadSettings() {
        throw new Error("load broke");
    }
}
