// View rules both histogram plugins follow: the settings table's column widths, the mini
// chart's points and the time-trigger chart's smoothing. Shipped in each plugin's resources.
.pragma library

function widthOf(columns, key) {
    for (var i = 0; i < columns.length; ++i)
        if (columns[i].key === key)
            return columns[i].width;
    return 100;
}

function totalWidth(columns, spacing) {
    var total = 0;
    for (var i = 0; i < columns.length; ++i)
        total += columns[i].width + spacing;
    return total;
}

// The settings mini chart: a few bins are drawn one by one through the fixed decimator; −1
// means the chart takes the data without decimation.
function miniChartPoints(bins) {
    return bins < 100 ? bins : -1;
}

// Fewer bins need less smoothing in the time-trigger chart.
function movingAverageDepth(bins) {
    if (bins > 1000)
        return 16;
    if (bins > 500)
        return 8;
    if (bins > 100)
        return 4;
    if (bins > 50)
        return 2;
    return 1;
}
