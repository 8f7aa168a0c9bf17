import QtQuick 2.15
import QtTest 1.2
import "qrc:/plugin/oldhistogrammermodule/qml/utils/legacyfiles.js" as Files
import "qrc:/plugin/oldhistogrammermodule/qml/chart/legacystats.js" as Stats

TestCase {
    name: "LegacyHelpers"

    function test_saveFileNames() {
        compare(Files.saveFileName("a.", "json"), "a.json");
        compare(Files.saveFileName("a.json", "json"), "a.json");
        compare(Files.saveFileName("a", "json"), "a.json");
        compare(Files.saveFileName("a.jso", "json"), "a.jso.json");
        compare(Files.joinPath("/data/", "x"), "/data/x");
    }

    function test_parametersRoundTripInFileOrder() {
        var hist = { name: "H", refPolarity: 2, refCH: 0, measPolarity: 1, measCH: 3, windowFSR: 2e-8,
                     binWidth: 5e-11, timeOffset: 1e-9, bitTrunc: 2, isActive: true };
        var text = Files.parametersJson([hist]);
        compare(Object.keys(JSON.parse(text)[0]),
                ["name", "refPolarity", "refCH", "measPolarity", "measCH", "windowFSR", "binWidth", "timeOffset", "bitTrunc"]);
        verify(text.indexOf('\n        "name": "H"') >= 0, "indented by four spaces per level");
        verify(text.indexOf("isActive") < 0, "only the parameters");
        var parsed = Files.parseParameters(text);
        verify(!parsed.error);
        var target = {};
        Files.applyParameters(parsed.entries[0], target);
        compare(target, { name: "H", refPolarity: 2, refCH: 0, measPolarity: 1, measCH: 3, windowFSR: 2e-8,
                          binWidth: 5e-11, timeOffset: 1e-9, bitTrunc: 2 });
    }

    function test_badParameterFilesAreRefusedWhole() {
        var cases = [
            ["not json", "The file is not JSON"],
            ["{\"name\": \"x\"}", "The file holds no list of histograms"],
            ["[{\"name\": \"a\"}, 3]", "Entry 1 is not an object"],
            ["[{\"binWidth\": \"10ps\"}]", "Entry 0: \"binWidth\" is not a number"],
            ["[{\"name\": 5}]", "Entry 0: \"name\" is not a text"]
        ];
        for (var i = 0; i < cases.length; ++i) {
            var parsed = Files.parseParameters(cases[i][0]);
            verify(parsed.error !== undefined, cases[i][0]);
            verify(parsed.entries === undefined, "nothing half-read");
            verify(parsed.error.indexOf(cases[i][1]) === 0, parsed.error);
        }
        var partial = Files.parseParameters("[{\"name\": \"only a name\", \"unknown\": []}]");
        verify(!partial.error, "missing and unknown keys are fine");
        var hist = { name: "old", binWidth: 1e-11 };
        Files.applyParameters(partial.entries[0], hist);
        compare(hist, { name: "only a name", binWidth: 1e-11 }, "missing keys change nothing");
    }

    function test_copyGoesToTickedGroupsAndEligibleTargetsOnly() {
        var source = { refPolarity: 2, refCH: 3, measPolarity: 2, measCH: 4, windowFSR: 4e-8, binWidth: 4e-11,
                       timeOffset: 2e-9, bitTrunc: 3, isTimeTrigActive: false };
        var free = { refPolarity: 1, refCH: 1, measPolarity: 1, measCH: 2, windowFSR: 1e-8, binWidth: 1e-11,
                     timeOffset: 0, bitTrunc: 0, isTimeTrigActive: false };
        var busy = { refPolarity: 1, refCH: 1, measPolarity: 1, measCH: 2, windowFSR: 1e-8, binWidth: 1e-11,
                     timeOffset: 0, bitTrunc: 0, isTimeTrigActive: true };
        var changed = Files.copyParameters(source, [source, free, busy],
                                           { ref: true, meas: false, fsr: false, width: true, offset: false, trunc: true });
        compare(changed.length, 1);
        verify(changed[0] === free);
        compare([free.refPolarity, free.refCH, free.measCH, free.windowFSR, free.binWidth, free.timeOffset, free.bitTrunc],
                [2, 3, 2, 1e-8, 4e-11, 0, 3]);
        compare(busy.refCH, 1, "a histogram in time-trigger mode is left alone");
    }

    function test_namesColoursAndWindows() {
        var taken = ["run", "run_1"];
        compare(Files.firstFreeName("run", function(n) { return taken.indexOf(n) >= 0; }), "run_2");
        compare(Files.firstFreeName("new", function(n) { return taken.indexOf(n) >= 0; }), "new");
        compare(Files.colorFor(0), '#2f7ed8');
        compare(Files.colorFor(11), '#0d233a', "the palette wraps");
        compare(Files.windowsFor(10, 1), 10);
        compare(Files.windowsFor(10, 3), 4, "a partial window counts");
        compare(Files.windowsFor(0.3 * 3, 0.3), 3, "no extra window from rounding");
        compare(Files.windowsFor(0, 1), 0);
        compare(Files.windowsFor(5, 0), 0);
        compare(Files.windowsFor(NaN, 1), 0);
    }

    function test_columns() {
        compare(Files.addableColumns(["MEAN", "TIME"]), ["STD", "RATE", "EVENTS"]);
        compare(Files.columnsFromText("TIME,BOGUS,MEAN,TIME"), ["TIME", "MEAN"]);
        compare(Files.columnsFromText(""), []);
        var hist = { mean: 1.5e-9, std: NaN, eventsRate: 12500, integrationEvent: 2500, integrationTime: 61000 };
        var axis = function(v, d) { return v.toFixed(12) + "/" + d; };
        compare(Stats.cellText("MEAN", hist, axis), "0.000000001500/3", "times use the view's formatter with 3 decimals");
        compare(Stats.cellText("STD", hist, axis), "--");
        compare(Stats.cellText("EVENTS", hist, axis), "2.5 K");
        verify(Stats.cellText("RATE", hist, axis).indexOf("12.5") === 0, Stats.cellText("RATE", hist, axis));
        verify(Stats.cellText("TIME", hist, axis) !== "", "a duration");
        compare(Stats.cellText("RATE", { eventsRate: Infinity }, axis), "--");
    }
}
