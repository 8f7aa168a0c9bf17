// Stands in for the program's file utilities: folders live in a list, and every call is kept.
import QtQuick 2.15

QtObject {
    property var folders: []
    property var opened: []
    property bool writable: true

    function getLocalPath(url) { return decodeURIComponent(String(url).replace(/^file:\/\//, "")); }
    function isDirWritable(path) { return writable; }
    function urlIsValid(url) { return String(url) !== ""; }
    function folderExixsts(path, name) { return folders.indexOf(path + "/" + name) >= 0; }
    function makeFolder(path, name) {
        if (String(path) === "" || String(name) === "" || folderExixsts(path, name))
            return false;
        folders.push(path + "/" + name);
        return true;
    }
    function openUrl(url) { opened.push(String(url)); return true; }
    function getDownloadPath() { return "/downloads"; }
}
