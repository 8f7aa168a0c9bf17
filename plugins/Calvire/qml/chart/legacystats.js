// The statistics columns of the legacy chart view's parameter table and how each shows its
// value.
.pragma library
.import "../utils/legacyformat.js" as Format
.import "./../../../../qml/utils/functions.js" as Functions

// axis(v) formats a time the way the chart's x axis does.
function cellText(column, hist, axis) {
    if (!hist)
        return "";
    switch (column) {
    case "MEAN": return timeText(hist.mean, axis);
    case "STD": return timeText(hist.std, axis);
    case "RATE": return isFinite(hist.eventsRate) ? Functions.format_to_hertz(Number(hist.eventsRate)) : "--";
    case "EVENTS": return countText(hist.integrationEvent);
    case "TIME": return Functions.seconds_to_date(Number(hist.integrationTime) / 1000);
    }
    return "";
}

function timeText(value, axis) {
    if (value === undefined || value === null || !isFinite(value))
        return "--";
    return axis(value, 3);
}

function countText(value) {
    var n = Number(value);
    if (value === undefined || value === null || !isFinite(n))
        return "--";
    if (n >= 1e9) return (n / 1e9).toFixed(1) + " G";
    if (n >= 1e6) return (n / 1e6).toFixed(1) + " M";
    if (n >= 1e3) return (n / 1e3).toFixed(1) + " K";
    return String(Math.round(n));
}
