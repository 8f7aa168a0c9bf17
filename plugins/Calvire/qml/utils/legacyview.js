// Rules of the legacy views that need no scene: the settings table's columns, which
// histograms an edit reaches, the mini chart's points and the time-trigger chart's smoothing.
.pragma library
.import "sharedviews.js" as Views

var columns = [
    { key: "select", title: "", width: 40 },
    { key: "name", title: "NAME", width: 128 },
    { key: "active", title: "ON", width: 52 },
    { key: "meas", title: "MEAS CH", width: 102 },
    { key: "ref", title: "REF CH", width: 102 },
    { key: "width", title: "BIN WIDTH", width: 92 },
    { key: "fsr", title: "FULL SCALE", width: 92 },
    { key: "offset", title: "TIME OFFSET", width: 92 },
    { key: "bitTrunc", title: "BIT TRUNC", width: 104 },
    { key: "autopush", title: "AUTO PUSH", width: 60 },
    { key: "forcePush", title: "FORCE PUSH", width: 116 },
    { key: "actions", title: "", width: 124 },
    { key: "chart", title: "HISTOGRAM", width: 104 },
    { key: "info", title: "RANGE / BINS", width: 84 }
];

function widthOf(key) {
    return Views.widthOf(columns, key);
}

function totalWidth(spacing) {
    return Views.totalWidth(columns, spacing);
}

var miniChartPoints = Views.miniChartPoints;
var movingAverageDepth = Views.movingAverageDepth;

// The histograms an edit of `hist` reaches: every ticked one when `hist` is ticked (those in
// a time-trigger run are locked and left out), else `hist` alone.
function editTargets(hist, selection) {
    if (!hist)
        return [];
    if (selection.indexOf(hist) < 0)
        return hist.isTimeTrigActive ? [] : [hist];
    return selection.filter(function(h) { return h && !h.isTimeTrigActive; });
}

// The selection after ticking or unticking one histogram; order of ticking is kept.
function toggled(selection, hist, on) {
    var next = selection.filter(function(h) { return h !== hist; });
    if (on && hist)
        next.push(hist);
    return next;
}

// The histograms that a legacy chart view shows, over every view of the main window.
function shownInCharts(dictView, chartObjectName) {
    var shown = [];
    for (var uuid in dictView) {
        var socket = dictView[uuid];
        var item = socket ? socket.item : null;
        if (!item || item.objectName !== chartObjectName || !item.histModels)
            continue;
        for (var i = 0; i < item.histModels.length; ++i)
            if (shown.indexOf(item.histModels[i]) < 0)
                shown.push(item.histModels[i]);
    }
    return shown;
}

function sameMembers(a, b) {
    if (a.length !== b.length)
        return false;
    for (var i = 0; i < a.length; ++i)
        if (b.indexOf(a[i]) < 0)
            return false;
    return true;
}

// A histogram that a chart view shows, that runs and is not held by a time-trigger run.
function activeInChartView(hist, shown) {
    return hist !== null && hist !== undefined && shown.indexOf(hist) >= 0 && hist.isActive && !hist.isTimeTrigActive;
}

