// The file rules both histogram plugins follow: parameter-file text, save names, paths, the
// names of new histograms and their colours. Shipped in each plugin's own resources.
.pragma library

var palette = ['#2f7ed8', '#0d233a', '#8bbc21', '#910000', '#1aadce', '#492970', '#f28f43',
               '#77a1e5', '#c42525', '#a6c96a'];

// "a." → "a.json", "a.json" → "a.json", "a" → "a.json".
function saveFileName(name, extension) {
    var text = String(name);
    if (text.slice(-1) === ".")
        return text + extension;
    if (text.slice(-(extension.length + 1)) !== "." + extension)
        return text + "." + extension;
    return text;
}

function joinPath(folder, name) {
    var dir = String(folder);
    if (dir.length > 1 && dir.slice(-1) === "/")
        dir = dir.slice(0, -1);
    return dir + "/" + name;
}

// The parameter file's text: one object per histogram with the given keys in file order,
// indented by four spaces.
function parametersJson(models, keys) {
    var list = [];
    for (var i = 0; i < models.length; ++i) {
        var entry = {};
        for (var k = 0; k < keys.length; ++k)
            entry[keys[k]] = models[i][keys[k]];
        list.push(entry);
    }
    return JSON.stringify(list, null, 4);
}

// The first of name, name_1, name_2, … for which exists(name) answers false.
function firstFreeName(name, exists) {
    if (!exists(name))
        return name;
    for (var i = 1; ; ++i) {
        var candidate = name + "_" + i;
        if (!exists(candidate))
            return candidate;
    }
}

function colorFor(count) {
    return palette[count % palette.length];
}
