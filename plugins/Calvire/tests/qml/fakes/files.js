// The in-memory files of FakeFileIO, one store for the whole test run.
.pragma library

var store = {};
var readOnly = {};

function reset() {
    for (var k in store)
        delete store[k];
    for (var r in readOnly)
        delete readOnly[r];
}
