import QtQuick 2.15

QtObject {
    property bool writable: true
    function getLocalPath(url) { return String(url).replace(/^file:\/\//, ""); }
    function isDirWritable(path) { return writable; }
    function urlIsValid(url) { return String(url) !== ""; }
}
