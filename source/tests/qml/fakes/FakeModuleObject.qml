import QtQuick 2.15

QtObject {
    property string name: ""
    property string icon: ""
    property string uuid: icon
    property string view: ""
    property int priority: 0
    property string version: "1.0.0"
    property var modelList: []
}
