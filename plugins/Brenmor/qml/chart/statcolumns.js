// The statistics columns of the chart view's parameter table and how each shows its value.
.pragma library
.import "../utils/histformat.js" as Format
.import "./../../../../qml/utils/functions.js" as Functions

var available = ["MEAN", "STD", "CHART MEAN", "CHART STD", "PEAK", "FWHM", "PEAK COUNTS", "RATE", "EVENTS", "TIME"];

// axis(v, decimals) formats a time the way the chart's x axis does; span(v, decimals) formats
// a width (a spread) in the same unit, scaled by the axis factor but not moved by its offset,
// which belongs to positions only.
function cellText(column, hist, axis, span) {
    if (!hist)
        return "";
    if (!span)
        span = axis;
    switch (column) {
    case "MEAN": return timeText(hist.mean, axis);
    case "STD": return timeText(hist.std, span);
    case "CHART MEAN": return timeText(hist.chartMean, axis);
    case "CHART STD": return timeText(hist.chartStd, span);
    case "PEAK": return timeText(hist.peak, axis);
    case "FWHM": return timeText(hist.fwhm, span);
    case "PEAK COUNTS": return countText(hist.peakCounts);
    case "RATE": return Functions.format_to_hertz(Number(hist.eventsRate));
    case "EVENTS": return countText(hist.integrationEvent);
    case "TIME": return Functions.seconds_to_date(Number(hist.integrationTime) / 1000);
    }
    return "";
}

function timeText(value, format) {
    if (value === undefined || value === null || !isFinite(value))
        return "--";
    return format(value, 3);
}

function countText(value) {
    if (value === undefined || value === null || !isFinite(value))
        return "--";
    return Format.formatNumber(Number(value), 2);
}

// The columns not yet shown, in their usual order.
function addable(shown) {
    return available.filter(function(c) { return shown.indexOf(c) < 0; });
}
