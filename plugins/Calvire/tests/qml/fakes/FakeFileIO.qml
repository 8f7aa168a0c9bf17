// Stands in for FileIO: files are texts in a map shared by every instance, so a test can put
// a parameter file where the view will read it.
import QtQuick 2.15
import "files.js" as Files

QtObject {
    function write(source, data) {
        if (String(source) === "" || Files.readOnly[source])
            return false;
        Files.store[source] = String(data);
        return true;
    }
    function read(source) {
        if (!Files.store.hasOwnProperty(source))
            return "";
        return Files.store[source];
    }
    function getFileLength(path) {
        return Files.store.hasOwnProperty(path) ? Files.store[path].length : 0;
    }
}
