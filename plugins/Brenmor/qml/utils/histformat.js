// Number formatting and unit parsing of the histogram views. Pure functions.
.pragma library

var timeSteps = [
    { limit: 1e-15, factor: 1e18, unit: "as" },
    { limit: 1e-12, factor: 1e15, unit: "fs" },
    { limit: 1e-9, factor: 1e12, unit: "ps" },
    { limit: 1e-6, factor: 1e9, unit: "ns" },
    { limit: 1e-3, factor: 1e6, unit: "us" },
    { limit: 1, factor: 1e3, unit: "ms" }
];

var unitFactors = { "as": 1e-18, "fs": 1e-15, "ps": 1e-12, "ns": 1e-9, "us": 1e-6, "ms": 1e-3 };

// What the text fields accept: a bound may be negative, a bin width may not, a refresh period
// is written in seconds or milliseconds.
var boundPattern = /^\s*(-?[0-9.]+)\s*(s|ms|us|ns|ps|fs|as)\s*$/;
var widthPattern = /^\s*([0-9.]+)\s*(s|ms|us|ns|ps|fs|as)\s*$/;
var periodPattern = /^\s*(-?[0-9.]+)\s*(s|ms)\s*$/;

function orDefault(value, fallback) {
    return (value === undefined || value === null) ? fallback : value;
}

// [value text, unit]; scaled by magnitude so that negative bounds read like positive ones.
function format_number(num, decimals) {
    decimals = orDefault(decimals, 2);
    var magnitude = Math.abs(num);
    if (!(magnitude >= 1e-18))
        return [0, "fs"];
    for (var i = 0; i < timeSteps.length; ++i) {
        if (magnitude < timeSteps[i].limit)
            return [(num * timeSteps[i].factor).toFixed(decimals), timeSteps[i].unit];
    }
    return [Number(num).toFixed(decimals), "s"];
}

function format_text(num, decimals) {
    var pair = format_number(num, decimals);
    return pair[0] + " " + pair[1];
}

function txt_to_number(num, units) {
    var factor = unitFactors.hasOwnProperty(units) ? unitFactors[units] : 1;
    return Number(num) * factor;
}

function formatNumber(number, decimals) {
    decimals = orDefault(decimals, 1);
    if (number >= 1e9)
        return (number / 1e9).toFixed(decimals) + " G";
    if (number >= 1e6)
        return (number / 1e6).toFixed(decimals) + " M";
    if (number >= 1e3)
        return (number / 1e3).toFixed(decimals) + " K";
    return String(Math.round(number));
}

// Seconds for a text matching the pattern, or null. The pattern lets "1.2.3" through; a
// number that does not read as one is refused instead of being cut to 1.2.
function parseTime(text, pattern) {
    var match = pattern.exec(String(text));
    if (!match)
        return null;
    var value = Number(match[1]);
    if (!isFinite(value))
        return null;
    return txt_to_number(value, match[2]);
}

function parseBound(text) { return parseTime(text, boundPattern); }
function parseBinWidth(text) {
    var value = parseTime(text, widthPattern);
    // A zero-width bin has no histogram.
    return value !== null && value > 0 ? value : null;
}

// Milliseconds for a refresh-period text, or null: the field shows seconds; a period must be
// a positive whole number of milliseconds.
function parsePeriodMs(text) {
    var seconds = parseTime(text, periodPattern);
    if (seconds === null)
        return null;
    var ms = Math.round(seconds * 1000);
    return ms >= 1 ? ms : null;
}

function periodText(ms) {
    return String(ms / 1000) + " s";
}

// The chart's axis unit: v shown as factor × v + offset, scaled by powers of 1000. With the
// unit "s" nothing above one second gets a prefix (a "Ks" reads wrong).
var axisPrefixes = ["a", "f", "p", "n", "u", "m", "", "K", "M", "G", "T", "P"];

function formatAxis(v, decimals, factor, offset, unit) {
    decimals = orDefault(decimals, 2);
    factor = orDefault(factor, 1.0);
    offset = orDefault(offset, 0.0);
    unit = orDefault(unit, "s");
    var value = factor * v + offset;
    if (!isFinite(value))
        return "--";
    var magnitude = Math.abs(value);
    if (magnitude < 1e-18)
        return (0).toFixed(decimals) + " " + unit;
    var power = Math.floor(Math.log(magnitude) / Math.LN10 / 3);
    // Rounding can carry 999.999 up to the next power.
    if (magnitude / Math.pow(1000, power) >= 1000 - 0.5 * Math.pow(10, -decimals))
        power += 1;
    var highest = unit === "s" ? 0 : 5;
    power = Math.max(-6, Math.min(highest, power));
    return (value / Math.pow(1000, power)).toFixed(decimals) + " " + axisPrefixes[power + 6] + unit;
}
