// An in-memory settings store driven like the program's cursor: groups, arrays (elements
// numbered from 1) and keys joined by "/".
import QtQuick 2.15

QtObject {
    id: root

    property var store: ({})
    property var groups: []
    property var arrays: []

    function prefix() {
        var parts = groups.slice();
        var path = parts.join("/");
        return path === "" ? "" : path + "/";
    }

    function fullKey(key) { return prefix() + key; }

    function setValue(key, value) { store[fullKey(key)] = value; }

    function value(key, defaultValue) {
        var k = fullKey(key);
        return store.hasOwnProperty(k) ? store[k] : defaultValue;
    }

    function intValue(key, defaultValue) {
        var v = value(key, undefined);
        return v === undefined ? (defaultValue === undefined ? 0 : defaultValue) : parseInt(v, 10);
    }

    function doubleValue(key, defaultValue) {
        var v = value(key, undefined);
        return v === undefined ? (defaultValue === undefined ? 1.0 : defaultValue) : Number(v);
    }

    function boolValue(key, defaultValue) {
        var v = value(key, undefined);
        if (v === undefined)
            return defaultValue === undefined ? true : defaultValue;
        return v === true || v === "true";
    }

    function contains(key) { return store.hasOwnProperty(fullKey(key)); }

    function beginGroup(name) { groups.push(name); }

    function endGroup() { groups.pop(); }

    function beginWriteArray(name, size) {
        if (size !== undefined && size >= 0)
            store[fullKey(name + "/size")] = size;
        groups.push(name);
        arrays.push({ depth: groups.length, name: name, written: 0, fixed: size !== undefined && size >= 0 });
        groups.push("1");
    }

    function beginReadArray(name) {
        var size = intValue(name + "/size", 0);
        groups.push(name);
        arrays.push({ depth: groups.length, name: name, written: 0, fixed: true });
        groups.push("1");
        return size;
    }

    function setArrayIndex(i) {
        var array = arrays[arrays.length - 1];
        groups[array.depth] = String(i + 1);
        array.written = Math.max(array.written, i + 1);
    }

    function endArray() {
        var array = arrays.pop();
        groups.pop();
        groups.pop();
        if (!array.fixed)
            store[fullKey(array.name + "/size")] = array.written;
    }

    function childGroups() {
        var p = prefix();
        var seen = [];
        for (var k in store) {
            if (k.indexOf(p) !== 0)
                continue;
            var rest = k.substring(p.length);
            var slash = rest.indexOf("/");
            if (slash > 0 && seen.indexOf(rest.substring(0, slash)) < 0)
                seen.push(rest.substring(0, slash));
        }
        return seen;
    }

    function childKeys() {
        var p = prefix();
        var keys = [];
        for (var k in store)
            if (k.indexOf(p) === 0 && k.substring(p.length).indexOf("/") < 0)
                keys.push(k.substring(p.length));
        return keys;
    }

    function allKeys() { return Object.keys(store); }

    function clear() { store = {}; }
}
