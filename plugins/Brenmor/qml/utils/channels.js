// The channel menus: their items and the mapping between a menu index and (channel, edge).
// Edge values are those of the program's EEdge enumeration.
.pragma library

var RISING = 1;
var FALLING = 2;

// [{ text, channel, edge }]: "SYNC R" first when the sync input may be chosen, then a rising
// and a falling item per input channel 1 … numCh − 1.
function channelItems(numCh, withSync) {
    var items = [];
    if (withSync)
        items.push({ text: "SYNC R", channel: 0, edge: RISING });
    for (var i = 1; i < numCh; ++i) {
        items.push({ text: "CH" + i + " R", channel: i, edge: RISING });
        items.push({ text: "CH" + i + " F", channel: i, edge: FALLING });
    }
    return items;
}

// { channel, edge } of a menu index.
function indexToChannel(index, withSync) {
    if (withSync) {
        if (index === 0)
            return { channel: 0, edge: RISING };
        return { channel: Math.floor((index + 1) / 2), edge: (index + 1) % 2 === 0 ? RISING : FALLING };
    }
    return { channel: Math.floor((index + 2) / 2), edge: index % 2 === 0 ? RISING : FALLING };
}

// The menu index of (channel, edge), or −1 when the menu has no such item (the sync input in
// a menu without it, or an edge the menus do not offer).
function channelToIndex(channel, edge, withSync) {
    if (edge !== RISING && edge !== FALLING)
        return -1;
    if (withSync) {
        if (channel === 0)
            return edge === RISING ? 0 : -1;
        return edge === RISING ? 2 * channel - 1 : 2 * channel;
    }
    if (channel < 1)
        return -1;
    return edge === RISING ? 2 * channel - 2 : 2 * channel - 1;
}

function edgeIcon(text) {
    return String(text).slice(-1) === "F" ? "falling-edge" : "rising-edge";
}
