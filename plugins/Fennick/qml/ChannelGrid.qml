// The cards of all channels, centred, as many per row as fit. Keeps each channel's display
// settings: selected, full scale (maxVal, a decade exponent) and log scale.
import QtQuick 2.15
import QtQuick.Controls 2.15
import "./../../qml/utils"

Flickable {
    id: root

    property var processedHistories: []
    property var inputHistories: []
    property bool showInput: false
    property bool running: true
    readonly property int cardWidth: 350
    readonly property int columnsFit: Math.max(1, Math.floor(width / (cardWidth + 24)))
    // One entry per channel: {selected, maxVal, isLog}. Replaced as a whole on every change
    // so that bindings on it follow.
    property var channelSettings: []

    function ensureSettings(count) {
        if (channelSettings.length >= count)
            return;
        var list = channelSettings.slice();
        while (list.length < count)
            list.push({ selected: false, maxVal: 9, isLog: true });
        channelSettings = list;
    }

    function setChannelSetting(channel, key, value) {
        ensureSettings(channel + 1);
        var list = channelSettings.slice();
        var entry = { selected: list[channel].selected, maxVal: list[channel].maxVal, isLog: list[channel].isLog };
        entry[key] = value;
        list[channel] = entry;
        channelSettings = list;
    }

    function channelSetting(channel, key, fallback) {
        return channel < channelSettings.length ? channelSettings[channel][key] : fallback;
    }

    function saveSettings() {
        settings.beginWriteArray("config", channelSettings.length);
        for (var i = 0; i < channelSettings.length; ++i) {
            settings.setArrayIndex(i);
            settings.setValue("maxVal", channelSettings[i].maxVal);
            settings.setValue("isLog", channelSettings[i].isLog);
        }
        settings.endArray();
    }

    function loadSettings() {
        var size = settings.beginReadArray("config");
        ensureSettings(size);
        for (var i = 0; i < size; ++i) {
            settings.setArrayIndex(i);
            var maxVal = settings.intValue("maxVal", 9);
            setChannelSetting(i, "maxVal", Math.max(1, Math.min(12, maxVal)));
            setChannelSetting(i, "isLog", settings.boolValue("isLog", true));
        }
        settings.endArray();
    }

    objectName: "channelGrid"
    contentHeight: grid.height + 48
    clip: true
    onProcessedHistoriesChanged: ensureSettings(processedHistories ? processedHistories.length : 0)

    Grid {
        id: grid
        y: 24
        x: Math.max(0, (root.width - width) / 2)
        columns: root.columnsFit
        spacing: 24
        move: Transition { NumberAnimation { properties: "x,y"; duration: 200 } }

        Repeater {
            model: root.processedHistories ? root.processedHistories.length : 0
            delegate: ChannelCard {
                channel: index
                processedHistory: root.processedHistories[index]
                inputHistory: root.inputHistories && index < root.inputHistories.length ? root.inputHistories[index] : []
                showInput: root.showInput
                running: root.running
                maxVal: root.channelSetting(index, "maxVal", 9)
                isLog: root.channelSetting(index, "isLog", true)
                onSettingsRequested: {
                    editor.channel = channel;
                    editor.open();
                }
            }
        }
    }

    Popup {
        id: editor
        property int channel: 0
        anchors.centerIn: parent
        modal: true
        padding: 16
        Column {
            spacing: 8
            Label { text: (editor.channel === 0 ? "SYNC" : "CH. " + editor.channel) + " display"; font.bold: true }
            CheckBox {
                text: "Logarithmic scale"
                checked: root.channelSetting(editor.channel, "isLog", true)
                onToggled: root.setChannelSetting(editor.channel, "isLog", checked)
            }
            Row {
                spacing: 8
                Label { text: "Full scale 10^"; anchors.verticalCenter: parent.verticalCenter }
                SpinBox {
                    from: 1
                    to: 12
                    value: root.channelSetting(editor.channel, "maxVal", 9)
                    onValueModified: root.setChannelSetting(editor.channel, "maxVal", value)
                }
            }
        }
    }
}
