// Texts and channel menus of the legacy histogram views.
.pragma library

// [value, unit] of a time in seconds, fixed to `decimals` places.
function format_number(num, decimals) {
    if (decimals === undefined)
        decimals = 2;
    var a = Math.abs(num);
    var steps = [[1e-18, 0, "fs"], [1e-15, 1e18, "as"], [1e-12, 1e15, "fs"], [1e-9, 1e12, "ps"],
                 [1e-6, 1e9, "ns"], [1e-3, 1e6, "us"], [1, 1e3, "ms"]];
    for (var i = 0; i < steps.length; ++i) {
        if (a < steps[i][0])
            return [(steps[i][1] === 0 ? 0 : num * steps[i][1]).toFixed(decimals), steps[i][2]];
    }
    return [Number(num).toFixed(decimals), "s"];
}

function txt_to_number(num, units) {
    var factors = { "as": 1e-18, "fs": 1e-15, "ps": 1e-12, "ns": 1e-9, "us": 1e-6, "ms": 1e-3 };
    return parseFloat(num) * (factors.hasOwnProperty(units) ? factors[units] : 1);
}

function timeText(seconds, decimals) {
    var parts = format_number(seconds, decimals === undefined ? 2 : decimals);
    return parts[0] + " " + parts[1];
}

// "250 ps" -> 2.5e-10; undefined when the text is no time (or negative when not allowed).
function parseTime(text, allowNegative) {
    var match = /^\s*(-?[0-9.]+)\s*(s|ms|us|ns|ps|fs|as)\s*$/.exec(String(text));
    if (!match || (!allowNegative && match[1].charAt(0) === "-"))
        return undefined;
    var value = txt_to_number(match[1], match[2]);
    return isFinite(value) ? value : undefined;
}

// Channel menus: with the sync item, index 0 is SYNC R, then CHi R and CHi F.
function channelItems(numCh, withSync) {
    var items = withSync ? ["SYNC R"] : [];
    for (var i = 1; i < numCh; ++i)
        items.push("CH" + i + " R", "CH" + i + " F");
    return items;
}

function indexOf(channel, edge, withSync) {
    if (withSync)
        return channel === 0 ? 0 : 2 * channel - (edge === 1 ? 1 : 0);
    return 2 * channel - (edge === 1 ? 2 : 1);
}

// [channel, edge] of a menu index; edge 1 rising, 2 falling.
function channelOf(index, withSync) {
    if (withSync) {
        if (index === 0)
            return [0, 1];
        return [Math.floor((index + 1) / 2), (index + 1) % 2 === 0 ? 1 : 2];
    }
    return [Math.floor((index + 2) / 2), index % 2 === 0 ? 1 : 2];
}

function rateText(value) {
    if (value >= 1e9) return (value / 1e9).toFixed(2) + " GHz";
    if (value >= 1e6) return (value / 1e6).toFixed(2) + " MHz";
    if (value >= 1e3) return (value / 1e3).toFixed(2) + " KHz";
    return Number(value).toFixed(2) + " Hz";
}
