// A view with models, a save function and a record of what it was given.
import QtQuick 2.15

Item {
    property var tdcModelData: []
    property var dataExchanger: null
    property var mainWindow: null
    property string note: ""
    function saveSettings() { settings.setValue("note", note); }
    function loadSettings() { note = String(settings.value("note", "")); }
}
