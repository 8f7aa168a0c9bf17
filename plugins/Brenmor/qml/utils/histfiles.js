// Parameter files, export names and the small rules of the chart and time-trigger views.
// Pure functions: files are read and written by the callers.
.pragma library
.import "sharedfiles.js" as Shared
.import "sharedviews.js" as Views

var palette = Shared.palette;
var saveFileName = Shared.saveFileName;
var joinPath = Shared.joinPath;
var firstFreeName = Shared.firstFreeName;
var colorFor = Shared.colorFor;
var movingAverageDepth = Views.movingAverageDepth;
var miniChartPoints = Views.miniChartPoints;

var paramKeys = ["name", "refPolarity", "refCH", "measPolarity", "measCH", "leftBound",
                 "rightBound", "binWidth", "refreshPeriod"];

function parametersJson(models) {
    return Shared.parametersJson(models, paramKeys);
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

// Windows of `periodMs` that cover an interval.
function repetitionsFor(intervalMs, periodMs) {
    if (!(periodMs > 0) || !(intervalMs > 0))
        return 0;
    return Math.ceil(intervalMs / periodMs);
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
