// The root of every plugin view: what the shell hands a view and what a view may offer back.
// The shell relies on every member below and asks for nothing else, so a view declares what it
// offers by overriding these members instead of the shell guessing what exists.
//
// Given by the shell (the view container sets them before the view completes):
//   tdcModelData   the models the view shows (a plugin's main view: every model of the plugin)
//   dataExchanger  the one channel between views (startExchangeData, exchangeData, ...)
//   viewSocket     the container holding the view: its uuid, topBarTitle, viewType
//   topWindowBar   the view's top-bar actions: btn0Fired ... btn3Fired, incrementIndex,
//                  decrementIndex, setSubViewIndex(index), emitted only while the view is
//                  the current one of its window
//   mainWindow     the shell: registerNewView, removeView, setViewByUUID, dictView,
//                  spawnMessage, turnOffTDCTasks, startExchangeData / stopExchangeData
// Offered by the view:
//   modelIcon      up to four top-bar buttons, [{ icon, tooltip }]; an entry without tooltip
//                  shows no button
//   subViewIndex, subViewCount   the pages of the view; arrows and indicator when count > 1
//   saveSettings(), loadSettings()   write and read the view's own keys; the settings cursor
//                  is already inside the view's own group when they run
import QtQuick 2.15

Item {
    property var tdcModelData: []
    property var dataExchanger: null
    property var viewSocket: null
    property var topWindowBar: null
    property var mainWindow: null

    property var modelIcon: []
    property int subViewIndex: 0
    property int subViewCount: 0

    function saveSettings() {}
    function loadSettings() {}
}
