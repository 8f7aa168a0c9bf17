// The columns of the settings table, shared by its header and its rows.
.pragma library
.import "../utils/sharedviews.js" as Views

var columns = [
    { key: "select", title: "", width: 40 },
    { key: "name", title: "NAME", width: 112 },
    { key: "active", title: "ON", width: 52 },
    { key: "meas", title: "MEAS CH", width: 104 },
    { key: "ref", title: "REF CH", width: 104 },
    { key: "swap", title: "SWAP", width: 44 },
    { key: "left", title: "LEFT BOUND", width: 92 },
    { key: "right", title: "RIGHT BOUND", width: 92 },
    { key: "width", title: "BIN WIDTH", width: 92 },
    { key: "period", title: "REFRESH", width: 76 },
    { key: "accumulate", title: "ACCUMULATE", width: 96 },
    { key: "multiHit", title: "MULTI HIT", width: 70 },
    { key: "actions", title: "", width: 116 },
    { key: "chart", title: "HISTOGRAM", width: 110 },
    { key: "info", title: "RANGE / BINS", width: 92 }
];

function widthOf(key) {
    return Views.widthOf(columns, key);
}

function totalWidth(spacing) {
    return Views.totalWidth(columns, spacing);
}
