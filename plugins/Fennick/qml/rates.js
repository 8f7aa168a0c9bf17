// Rate texts and gauge fractions of the counter views.
.pragma library

function getFreqFromValue(value, digits) {
    if (digits === undefined || digits === null)
        digits = 2;
    if (value >= 1e9)
        return (value / 1e9).toFixed(digits) + " GHz";
    if (value >= 1e6)
        return (value / 1e6).toFixed(digits) + " MHz";
    if (value >= 1e3)
        return (value / 1e3).toFixed(digits) + " KHz";
    return Number(value).toFixed(digits) + " Hz";
}

// "1.5 MHz" -> 1.5e6; text without a G, M or K prefix, or with a malformed number, gives
// undefined.
function getValueFromFreq(text) {
    var match = /^\s*(\d+(?:\.\d*)?|\.\d+)\s*([GMK])hz\s*$/i.exec(String(text));
    if (!match)
        return undefined;
    var factor = { "G": 1e9, "M": 1e6, "K": 1e3 }[match[2].toUpperCase()];
    return parseFloat(match[1]) * factor;
}

// Fractions of a gauge's full scale; max is the full scale as a decade exponent. A full
// scale of zero or less would divide by zero: any rate then fills the gauge.
function getLogSpeedFromValue(value, max) {
    if (!(max > 0))
        return value > 0 ? 1 : 0;
    return Math.min(Math.log(value + 1) / Math.LN10 / max, 1);
}

function getLinearSpeedFromValue(value, max) {
    return Math.min(value / Math.pow(10, max), 1);
}
