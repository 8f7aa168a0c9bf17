// Naming rules of the views in the VIEWs list.
.pragma library

// A title that is not in the list yet: "SubView" becomes "SubView 1", "SubView 1" becomes
// "SubView 2", and so on; text before the last word is kept.
function uniqueTitle(title, existing) {
    var result = String(title);
    var pattern = /(\w+)\s*([0-9]*)$/;
    var guard = 0;
    while (existing.indexOf(result) >= 0 && guard++ < 10000) {
        var match = pattern.exec(result);
        if (!match) {
            result = result + " 1";
            continue;
        }
        var head = result.substring(0, match.index);
        if (match[2] === "")
            result = head + match[1] + " 1";
        else
            result = head + match[1] + " " + (parseInt(match[2], 10) + 1);
    }
    return result;
}
