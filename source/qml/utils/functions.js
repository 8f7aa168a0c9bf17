// Formatting and parsing helpers shared by the shell and the plugin views.
// Pure functions: no state, no access to the scene.
.pragma library

var timeSteps = [
    { limit: 1e-15, factor: 1e18, unit: "as" },
    { limit: 1e-12, factor: 1e15, unit: "fs" },
    { limit: 1e-9, factor: 1e12, unit: "ps" },
    { limit: 1e-6, factor: 1e9, unit: "ns" },
    { limit: 1e-3, factor: 1e6, unit: "us" },
    { limit: 1, factor: 1e3, unit: "ms" }
];

var unitSeconds = { "as": 1e-18, "fs": 1e-15, "ps": 1e-12, "ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1 };

// A number is digits with at most one point; "1.2.3" is not a number.
var numberPattern = "(\\d+(?:\\.\\d*)?|\\.\\d+)";
var timeUnitRegex = new RegExp("^\\s*" + numberPattern + "\\s*(ms|us|ns|ps|fs|as|s)\\s*$");

function generateUUID() {
    var id = "_";
    for (var i = 0; i < 9; ++i)
        id += Math.floor(Math.random() * 36).toString(36);
    return id;
}

function decimalsOr(decimals, fallback) {
    return (decimals === undefined || decimals === null) ? fallback : decimals;
}

// Scales by magnitude so negative differences read as well as positive ones.
function format_time(num, decimals) {
    decimals = decimalsOr(decimals, 2);
    var magnitude = Math.abs(num);
    if (!(magnitude >= 1e-18))
        return ["0", "fs"];
    for (var i = 0; i < timeSteps.length; ++i) {
        if (magnitude < timeSteps[i].limit)
            return [(num * timeSteps[i].factor).toFixed(decimals), timeSteps[i].unit];
    }
    return [num.toFixed(decimals), "s"];
}

function format_time_text(num, decimals) {
    if (!(Math.abs(num) >= 1e-18))
        return "0";
    var pair = format_time(num, decimals);
    return pair[0] + " " + pair[1];
}

function convert_to_seconds(num, units) {
    if (units !== "s" && unitSeconds.hasOwnProperty(units))
        return num * unitSeconds[units];
    return num;
}

function read_time_and_unit(text) {
    var match = timeUnitRegex.exec(String(text));
    if (!match)
        return false;
    return [parseFloat(match[1]), match[2]];
}

function read_time_seconds(text) {
    var pair = read_time_and_unit(text);
    if (pair === false)
        return false;
    return convert_to_seconds(pair[0], pair[1]);
}

function scaled(value, base, prefixes) {
    // prefixes: [giga, mega, kilo]
    if (value >= base * base * base)
        return [value / (base * base * base), prefixes[0]];
    if (value >= base * base)
        return [value / (base * base), prefixes[1]];
    if (value >= base)
        return [value / base, prefixes[2]];
    return [value, null];
}

function format_to_hertz(value) {
    var s = scaled(value, 1000, ["GHz", "MHz", "kHz"]);
    return s[0].toFixed(2) + " " + (s[1] === null ? "Hz" : s[1]);
}

function format_to_samples(value, shorten) {
    var word = shorten ? "Sa" : "Samples";
    var s = scaled(value, 1000, ["G", "M", "k"]);
    if (s[1] === null)
        return s[0].toFixed(2) + word;
    return s[0].toFixed(2) + " " + s[1] + word;
}

function format_to_samplerate(value, shorten) {
    return format_to_samples(value, shorten) + "/s";
}

function format_to_bytes(value) {
    var s = scaled(value, 1024, ["GB", "MB", "kB"]);
    return s[0].toFixed(2) + " " + (s[1] === null ? "B" : s[1]);
}

function format_to_unit(value, unit) {
    var s = scaled(value, 1000, ["G", "M", "k"]);
    if (s[1] === null)
        return s[0].toFixed(2) + " " + unit;
    return s[0].toFixed(2) + s[1] + unit;
}

function sumOfUnits(text, regex, factors) {
    var total = 0;
    var match;
    regex.lastIndex = 0;
    while ((match = regex.exec(String(text))) !== null)
        total += parseFloat(match[1]) * factors[match[2].toLowerCase()];
    return total;
}

function date_to_seconds(text) {
    return sumOfUnits(text, /(\d+(?:\.\d+)?)\s*([dhms])/g,
                      { "d": 86400, "h": 3600, "m": 60, "s": 1 });
}

function date_to_milliseconds(text) {
    return sumOfUnits(text, /(\d+(?:\.\d+)?)\s*(ms|d|h|m|s)/g,
                      { "d": 86400000, "h": 3600000, "m": 60000, "s": 1000, "ms": 1 });
}

function seconds_to_date(seconds) {
    var total = Math.max(0, Math.floor(seconds));
    var hours = Math.floor(total / 3600);
    var minutes = Math.floor((total % 3600) / 60);
    var rest = total % 60;
    var text = "";
    if (hours > 0)
        text += hours + "h";
    if (minutes > 0)
        text += minutes + "m";
    if (rest > 0)
        text += rest + "s";
    return text === "" ? "0s" : text;
}

// The file-size field accepts B, KB, MB, GB and TB in any case, so every one of them
// counts here; a size the field accepts never reads as zero.
function file_size_to_bytes(text) {
    return sumOfUnits(text, /(\d+(?:\.\d+)?)\s*([kmgt]?b)(?![a-z])/gi,
                      { "b": 1, "kb": 1024, "mb": 1048576, "gb": 1073741824, "tb": 1099511627776 });
}
