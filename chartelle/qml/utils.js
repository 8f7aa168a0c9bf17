.pragma library

function bound(val, min, max) {
    return Math.min(Math.max(val, min), max)
}

function format_event(val) {
    if (val >= 1e9)
        return (val / 1e9).toFixed(2) + "G"
    if (val >= 1e6)
        return (val / 1e6).toFixed(2) + "M"
    if (val >= 1e3)
        return (val / 1e3).toFixed(2) + "K"
    return Number(val).toFixed(2)
}

function varToString(varObj, title, desiredLength) {
    if (title === undefined)
        title = "VALUES"
    if (desiredLength === undefined)
        desiredLength = 20
    console.log(title)
    for (var key in varObj) {
        var name = String(key)
        while (name.length < desiredLength)
            name += " "
        console.log(name + ": " + varObj[key])
    }
}

// Scaled number with a unit suffix; units[i] belongs to the threshold 1e-18 * 1000^i.
function scaled(num, decimals, units) {
    var a = Math.abs(num)
    if (a < 1e-18)
        return "0"
    var limits = [1e-15, 1e-12, 1e-9, 1e-6, 1e-3, 1]
    var factors = [1e18, 1e15, 1e12, 1e9, 1e6, 1e3]
    for (var i = 0; i < limits.length; ++i) {
        if (a < limits[i])
            return (num * factors[i]).toFixed(decimals) + units[i]
    }
    return Number(num).toFixed(decimals) + units[6]
}

function format_time(num, decimals) {
    if (decimals === undefined)
        decimals = 2
    return scaled(num, decimals, [" as", " fs", " ps", " ns", " us", " ms", " s"])
}

function format_num(num, decimals) {
    if (decimals === undefined)
        decimals = 2
    return scaled(num, decimals, ["e-18", "e-15", "e-12", "e-9", "e-6", "e-3", ""])
}
