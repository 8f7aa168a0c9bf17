// Parameter files, export names and the small rules of the legacy chart and time-trigger
// views. Pure functions: files are read and written, and wrappers changed, by the callers.
.pragma library
.import "sharedfiles.js" as Shared

var palette = Shared.palette;
var saveFileName = Shared.saveFileName;
var joinPath = Shared.joinPath;
var firstFreeName = Shared.firstFreeName;
var colorFor = Shared.colorFor;

// The legacy histogram has a bin width, a full scale and an offset instead of bounds. The
// full scale comes before the bin width so that a narrower bin fits the range it lands in.
var paramKeys = ["name", "refPolarity", "refCH", "measPolarity", "measCH", "windowFSR",
                 "binWidth", "timeOffset", "bitTrunc"];

function parametersJson(models) {
    return Shared.parametersJson(models, paramKeys);
}

// Groups of the copy dialog, each with the wrapper properties it copies, in copy order.
var copyGroups = [
    { key: "ref", text: "Reference channel and edge", props: ["refPolarity", "refCH"] },
    { key: "meas", text: "Measurement channel and edge", props: ["measPolarity", "measCH"] },
    { key: "fsr", text: "Full scale range", props: ["windowFSR"] },
    { key: "width", text: "Bin width", props: ["binWidth"] },
    { key: "offset", text: "Time offset", props: ["timeOffset"] },
    { key: "trunc", text: "Bit truncation", props: ["bitTrunc"] }
];

// { entries } or { error }: a JSON array of objects whose known keys have the right types;
// nothing is half-read.
function parseParameters(text) {
    var value;
    try {
        value = JSON.parse(text);
    } catch (e) {
        return { error: "The file is not JSON: " + e.message };
    }
    if (!Array.isArray(value))
        return { error: "The file holds no list of histograms" };
    for (var i = 0; i < value.length; ++i) {
        var entry = value[i];
        if (entry === null || typeof entry !== "object" || Array.isArray(entry))
            return { error: "Entry " + i + " is not an object" };
        for (var k = 0; k < paramKeys.length; ++k) {
            var key = paramKeys[k];
            if (!entry.hasOwnProperty(key))
                continue;
            var ok = key === "name" ? typeof entry[key] === "string"
                                    : typeof entry[key] === "number" && isFinite(entry[key]);
            if (!ok)
                return { error: "Entry " + i + ": \"" + key + "\" is not " + (key === "name" ? "a text" : "a number") };
        }
    }
    return { entries: value };
}

// Writes the entry's known keys into the wrapper, in file order; missing keys change nothing.
function applyParameters(entry, hist) {
    for (var k = 0; k < paramKeys.length; ++k)
        if (entry.hasOwnProperty(paramKeys[k]))
            hist[paramKeys[k]] = entry[paramKeys[k]];
}

// The ticked groups copied from source to every target other than it and not in time-trigger
// mode; returns the targets changed.
function copyParameters(source, targets, groups) {
    var changed = [];
    for (var t = 0; t < targets.length; ++t) {
        var target = targets[t];
        if (!target || target === source || target.isTimeTrigActive)
            continue;
        for (var g = 0; g < copyGroups.length; ++g) {
            if (!groups[copyGroups[g].key])
                continue;
            var props = copyGroups[g].props;
            for (var p = 0; p < props.length; ++p)
                target[props[p]] = source[props[p]];
        }
        changed.push(target);
    }
    return changed;
}

// Windows of `windowSeconds` that cover a total of `totalSeconds`; 0 when either is no
// positive number.
function windowsFor(totalSeconds, windowSeconds) {
    if (!(windowSeconds > 0) || !(totalSeconds > 0) || !isFinite(totalSeconds))
        return 0;
    // A total that is a whole number of windows must not gain one from rounding.
    return Math.ceil(totalSeconds / windowSeconds - 1e-9);
}

// The statistics columns of the chart view's parameter table.
var statColumns = ["MEAN", "STD", "RATE", "EVENTS", "TIME"];

function addableColumns(shown) {
    return statColumns.filter(function(c) { return shown.indexOf(c) < 0; });
}

// A stored column list: known names only, each once, in the stored order.
function columnsFromText(text) {
    var list = [];
    var parts = String(text).split(",");
    for (var i = 0; i < parts.length; ++i)
        if (statColumns.indexOf(parts[i]) >= 0 && list.indexOf(parts[i]) < 0)
            list.push(parts[i]);
    return list;
}
