// Voltage texts of the threshold views.
.pragma library

// "0.25", "0.25 V", "250mV", "-12 mv" -> volts; anything else gives undefined.
function parseVoltage(text) {
    var match = /^\s*([+-]?(?:\d+(?:\.\d*)?|\.\d+)(?:[eE][+-]?\d+)?)\s*(V|mV|mv)?\s*$/.exec(String(text));
    if (!match)
        return undefined;
    var value = parseFloat(match[1]);
    if (!isFinite(value))
        return undefined;
    return match[2] === "mV" || match[2] === "mv" ? value / 1000 : value;
}

function formatVoltage(volts) {
    return Number(volts).toFixed(3) + " V";
}

// The channels a tuning run covers: the selected ones, or all when none is selected.
function tuningCount(channels) {
    var list = channels || [];
    var selected = 0;
    for (var i = 0; i < list.length; ++i)
        if (list[i] && list[i].selected)
            ++selected;
    return selected > 0 ? selected : list.length;
}
