// Parameter files, export names and the small rules of the chart and time-trigger views.
// Pure functions: files are read and written by the callers.
.pragma library

var paramKeys = ["name", "refPolarity", "refCH", "measPolarity", "measCH", "leftBound",
                 "rightBound", "binWidth", "refreshPeriod"];

var palette = ['#2f7ed8', '#0d233a', '#8bbc21', '#910000', '#1aadce', '#492970', '#f28f43',
               '#77a1e5', '#c42525', '#a6c96a'];

// "a." → "a.json", "a.json" → "a.json", "a" → "a.json".
function saveFileName(name, extension) {
    var text = String(name);
    if (text.slice(-1) === ".")
        return text + extension;
    if (text.slice(-(extension.length + 1)) !== "." + extension)
        return text + "." + extension;
    return text;
}

function joinPath(folder, name) {
    var dir = String(folder);
    if (dir.length > 1 && dir.slice(-1) === "/")
        dir = dir.slice(0, -1);
    return dir + "/" + name;
}

// The parameter file's text: one object per histogram with its keys in file order, indented
// by four spaces.
function parametersJson(models) {
    var list = [];
    for (var i = 0; i < models.length; ++i) {
        var entry = {};
        for (var k = 0; k < paramKeys.length; ++k)
            entry[paramKeys[k]] = models[i][paramKeys[k]];
        list.push(entry);
    }
    return JSON.stringify(list, null, 4);
}

// { entries } or { error }: the text must be a JSON array of objects; nothing is half-read.
function parseParameters(text) {
    var value;
    try {
        value = JSON.parse(text);
    } catch (e) {
        return { error: "parse" };
    }
    if (!Array.isArray(value))
        return { error: "parse" };
    for (var i = 0; i < value.length; ++i)
        if (value[i] === null || typeof value[i] !== "object" || Array.isArray(value[i]))
            return { error: "parse" };
    return { entries: value };
}

// The first of name, name_1, name_2, … for which exists(name) answers false.
function firstFreeName(name, exists) {
    if (!exists(name))
        return name;
    for (var i = 1; ; ++i) {
        var candidate = name + "_" + i;
        if (!exists(candidate))
            return candidate;
    }
}

function colorFor(count) {
    return palette[count % palette.length];
}

// Fewer bins need less smoothing in the time-trigger chart.
function movingAverageDepth(bins) {
    if (bins > 1000)
        return 16;
    if (bins > 500)
        return 8;
    if (bins > 100)
        return 4;
    if (bins > 50)
        return 2;
    return 1;
}

// Windows of `periodMs` that cover an interval.
function repetitionsFor(intervalMs, periodMs) {
    if (!(periodMs > 0) || !(intervalMs > 0))
        return 0;
    return Math.ceil(intervalMs / periodMs);
}

// The settings mini chart: a few bins are drawn one by one through the fixed decimator; −1
// means the chart takes the data without decimation.
function miniChartPoints(bins) {
    return bins < 100 ? bins : -1;
}

// Saving images faster than the machine can encode them slows everything else down.
function imageRateWarning(formats, periodMs) {
    return (formats.indexOf(".jpeg") >= 0 && periodMs < 20) || (formats.indexOf(".png") >= 0 && periodMs < 50);
}

// A histogram's name is part of the names of its files ("<prefix>N_<name>.csv"): it must be
// a plain file name of its own, and tell the histograms of the board apart. Returns "" when
// the name can be taken, else the reason.
var maxNameLength = 32;
function nameProblem(name, otherNames) {
    var text = String(name).trim();
    if (text === "")
        return "The name can not be empty";
    if (text.length > maxNameLength)
        return "At most " + maxNameLength + " characters";
    if (/[\/\\:*?"<>|\u0000-\u001f]/.test(text))
        return "Not allowed in a name: / \\ : * ? \" < > |";
    if (text === "." || text === "..")
        return "Not a name";
    if ((otherNames || []).indexOf(text) >= 0)
        return "Another histogram has this name";
    return "";
}

// The time axis in another unit: shown as factor × time + offset. The factor and the offset
// are plain decimal numbers; the factor must not be 0 (every value would read the same).
var maxUnitLength = 8;
function unitProblem(text) {
    var t = String(text).trim();
    if (t === "")
        return "The unit can not be empty";
    if (t.length > maxUnitLength)
        return "At most " + maxUnitLength + " characters";
    return "";
}

function parsePlainNumber(text) {
    var t = String(text);
    if (!/^\s*[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?\s*$/.test(t))
        return null;
    var v = Number(t);
    return isFinite(v) ? v : null;
}

// A plain number as short as it goes: large and small ones in exponent form ("2e+8"), which
// parsePlainNumber reads back.
function plainNumberText(v) {
    var a = Math.abs(v);
    if (a >= 1e6 || (a > 0 && a < 1e-3))
        return Number(v).toExponential();
    return String(v);
}

function parseFactor(text) {
    var v = parsePlainNumber(text);
    return v === null || v === 0 ? null : v;
}
