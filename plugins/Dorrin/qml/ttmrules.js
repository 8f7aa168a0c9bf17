// The time-tagging view's input rules: the fields' patterns and what they mean, the channel
// selectors' entries, the channels a recording or the preview captures, and the rate meter's
// scale. Pure functions: no state, no access to the scene.
.pragma library

var RISING = 1;
var FALLING = 2;

var durationPattern = /^\s*(\d+d)?((?:[0-2]?[0-4]|[0-1]?[0-9])h)?([0-5]?[0-9]m)?([0-5]?[0-9]s)?([0-9]?[0-9]?[0-9]ms)?\s*$/;
var sizePattern = /^\s*(\d+)\s*([TtGgMmKk]?[Bb])\s*$/;
var splitTimePattern = /^\s*(\d+d)?((?:[0-2]?[0-4]|[0-1]?[0-9])h)?([0-5]?[0-9]m)?([0-5]?[0-9]s)?\s*$/;

var durationPlaceholder = "e.g., 1d3h15m2s10ms";
var sizePlaceholder = "e.g., 100MB";
var splitTimePlaceholder = "e.g., 1d3h15m2s";

function leadingNumber(part) {
    return part ? parseInt(part, 10) : 0;
}

// Milliseconds of a duration such as "1d3h15m2s10ms", or -1 when the text is not one. An
// empty text matches the pattern but says nothing, so it is refused as well.
function durationToMs(text) {
    var m = durationPattern.exec(String(text));
    if (!m || String(text).trim() === "")
        return -1;
    return ((leadingNumber(m[1]) * 24 + leadingNumber(m[2])) * 60 + leadingNumber(m[3])) * 60000
            + leadingNumber(m[4]) * 1000 + leadingNumber(m[5]);
}

// Seconds of a split period such as "1d3h15m2s", or -1.
function splitTimeToSeconds(text) {
    var m = splitTimePattern.exec(String(text));
    if (!m || String(text).trim() === "")
        return -1;
    return ((leadingNumber(m[1]) * 24 + leadingNumber(m[2])) * 60 + leadingNumber(m[3])) * 60 + leadingNumber(m[4]);
}

// Bytes of a size such as "100MB" (powers of 1024), or -1.
function sizeToBytes(text) {
    var m = sizePattern.exec(String(text));
    if (!m)
        return -1;
    var powers = { "b": 0, "kb": 1, "mb": 2, "gb": 3, "tb": 4 };
    return parseInt(m[1], 10) * Math.pow(1024, powers[m[2].toLowerCase()]);
}

// The selectors list each channel's falling edge, then its rising edge.
function selectorLabels(numCh) {
    var labels = ["SYNC F", "SYNC R"];
    for (var i = 1; i < numCh; ++i) {
        labels.push("CH" + i + " F");
        labels.push("CH" + i + " R");
    }
    return labels;
}

function entryChannel(entry) {
    return Math.floor(entry / 2);
}

function entryEdge(entry) {
    return entry % 2 === 1 ? RISING : FALLING;
}

function entryOf(channel, edge) {
    return channel * 2 + (edge === RISING ? 1 : 0);
}

// The capture the preview needs: the two channels on their edges.
function previewFilters(refCh, refEdge, measCh, measEdge) {
    var rising = [];
    var falling = [];
    var pairs = [[refCh, refEdge], [measCh, measEdge]];
    for (var i = 0; i < pairs.length; ++i) {
        var list = pairs[i][1] === RISING ? rising : falling;
        if (list.indexOf(pairs[i][0]) < 0)
            list.push(pairs[i][0]);
    }
    return { rising: rising, falling: falling };
}

// The capture of a recording: every channel on the edges of the "WHAT TO SAVE:" choice
// (0 rising, 1 falling, 2 both).
function recordingFilters(choice, numCh) {
    var all = [];
    for (var c = 0; c < numCh; ++c)
        all.push(c);
    return {
        rising: choice === 1 ? [] : all,
        falling: choice === 0 ? [] : all.slice()
    };
}

// The file name as sub-folder, or the name with "_" and the smallest number from 1 that
// names no existing folder.
function chooseSubFolder(name, exists) {
    if (!exists(name))
        return name;
    for (var i = 1; ; ++i) {
        if (!exists(name + "_" + i))
            return name + "_" + i;
    }
}

// Position of the rate meter: 8 M events/s fill it.
function meterValue(rate, ticks) {
    if (rate === 0)
        return 0;
    return Math.min(rate / 8.0e6 * (ticks - 0.1) + 0.1, ticks);
}
