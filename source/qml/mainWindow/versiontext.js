// Texts of the version dialog, kept apart from the dialog so they can be checked alone.
.pragma library

// A field of the firmware tag: "key = value" between ";" separators; "N/A" when absent.
function tagField(tag, key) {
    var fields = String(tag || "").split(";");
    for (var i = 1; i < fields.length; ++i) {
        var at = fields[i].indexOf(" = ");
        if (at >= 0 && fields[i].substring(0, at).trim() === key)
            return fields[i].substring(at + 3).trim();
    }
    return "N/A";
}

function tagName(tag) {
    var text = String(tag || "");
    var end = text.indexOf(";");
    return end >= 0 ? text.substring(0, end) : text;
}

function versionWithBuild(version, buildInfo, releaseBuild) {
    return releaseBuild ? String(version) : String(version) + " (" + String(buildInfo).trim() + ")";
}

// One row per plugin, largest priority first; "N.A." where no model answers.
function moduleRows(pluginModules, connected) {
    var modules = [];
    for (var i = 0; i < pluginModules.length; ++i)
        modules.push(pluginModules[i]);
    modules.sort(function(a, b) { return b.priority - a.priority; });
    var rows = [];
    for (var j = 0; j < modules.length; ++j) {
        var m = modules[j];
        var model = connected && m.modelList && m.modelList.length > 0 ? m.modelList[0] : null;
        rows.push({
            name: m.name,
            frontend: "Frontend: " + m.version,
            backend: "Backend: " + (model ? model.swVersion : "N.A."),
            firmware: "Firmware: " + (model ? model.hwVersion : "N.A.")
        });
    }
    return rows;
}
