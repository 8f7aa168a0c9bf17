// The view's input rules: what the duration, size and split-time fields accept and what it
// means, the channel selectors' entries, and the channels a recording or the preview takes.
import QtQuick 2.15
import QtTest 1.15
import "../../qml/ttmrules.js" as Rules

TestCase {
    name: "TTMRules"

    function test_duration_data() {
        return [
            { tag: "full", text: "1d3h15m2s10ms", ms: ((24 + 3) * 60 + 15) * 60000 + 2000 + 10 },
            { tag: "seconds", text: "5s", ms: 5000 },
            { tag: "milliseconds only", text: "250ms", ms: 250 },
            { tag: "minutes then ms", text: "2m5ms", ms: 120005 },
            { tag: "padded", text: "  1h  ", ms: 3600000 },
            { tag: "24 hours", text: "24h", ms: 86400000 },
            { tag: "many days", text: "400d", ms: 400 * 86400000 },
            { tag: "25 hours", text: "25h", ms: -1 },
            { tag: "60 minutes", text: "60m", ms: -1 },
            { tag: "60 seconds", text: "60s", ms: -1 },
            { tag: "four-digit ms", text: "1000ms", ms: -1 },
            { tag: "wrong order", text: "5s1m", ms: -1 },
            { tag: "no unit", text: "5", ms: -1 },
            { tag: "empty", text: "", ms: -1 },
            { tag: "inner space", text: "1h 5m", ms: -1 }
        ];
    }
    function test_duration(data) {
        compare(Rules.durationToMs(data.text), data.ms);
    }

    function test_splitTime_data() {
        return [
            { tag: "full", text: "1d3h15m2s", s: (27 * 60 + 15) * 60 + 2 },
            { tag: "minutes", text: "10m", s: 600 },
            { tag: "ms refused", text: "10ms", s: -1 },
            { tag: "empty", text: " ", s: -1 }
        ];
    }
    function test_splitTime(data) {
        compare(Rules.splitTimeToSeconds(data.text), data.s);
    }

    function test_size_data() {
        return [
            { tag: "100MB", text: "100MB", bytes: 104857600 },
            { tag: "lower", text: " 3 kb ", bytes: 3072 },
            { tag: "bytes", text: "512B", bytes: 512 },
            { tag: "giga", text: "2Gb", bytes: 2147483648 },
            { tag: "tera", text: "1TB", bytes: 1099511627776 },
            { tag: "fraction", text: "1.5MB", bytes: -1 },
            { tag: "no unit", text: "100", bytes: -1 },
            { tag: "bits-like", text: "100M", bytes: -1 },
            { tag: "empty", text: "", bytes: -1 }
        ];
    }
    function test_size(data) {
        compare(Rules.sizeToBytes(data.text), data.bytes);
    }

    function test_selectorEntries() {
        var labels = Rules.selectorLabels(4);
        compare(labels, ["SYNC F", "SYNC R", "CH1 F", "CH1 R", "CH2 F", "CH2 R", "CH3 F", "CH3 R"]);
        for (var entry = 0; entry < labels.length; ++entry) {
            var channel = Rules.entryChannel(entry);
            var edge = Rules.entryEdge(entry);
            compare(channel, Math.floor(entry / 2));
            compare(edge, entry % 2 ? Rules.RISING : Rules.FALLING);
            compare(Rules.entryOf(channel, edge), entry);
            verify(labels[entry].indexOf(edge === Rules.RISING ? " R" : " F") > 0);
        }
        compare(Rules.entryOf(0, 2), 0);
        compare(Rules.entryOf(3, 1), 7);
    }

    function test_previewFilters() {
        var f = Rules.previewFilters(1, Rules.RISING, 2, Rules.FALLING);
        compare(f.rising, [1]);
        compare(f.falling, [2]);
        f = Rules.previewFilters(3, Rules.RISING, 3, Rules.FALLING);
        compare(f.rising, [3]);
        compare(f.falling, [3]);
        f = Rules.previewFilters(2, Rules.RISING, 2, Rules.RISING);
        compare(f.rising, [2]);
        compare(f.falling, []);
    }

    function test_recordingFilters() {
        compare(Rules.recordingFilters(0, 3), { rising: [0, 1, 2], falling: [] });
        compare(Rules.recordingFilters(1, 3), { rising: [], falling: [0, 1, 2] });
        compare(Rules.recordingFilters(2, 2), { rising: [0, 1], falling: [0, 1] });
    }

    function test_subFolder() {
        var existing = ["run", "run_1", "run_2", "other_1"];
        var exists = function(n) { return existing.indexOf(n) >= 0; };
        compare(Rules.chooseSubFolder("run", exists), "run_3");
        compare(Rules.chooseSubFolder("other", exists), "other");
        compare(Rules.chooseSubFolder("new", exists), "new");
    }

    function test_meter() {
        compare(Rules.meterValue(0, 15), 0);
        fuzzyCompare(Rules.meterValue(4.0e6, 15), 7.55, 1e-9);
        compare(Rules.meterValue(8.0e6, 15), 15);
        compare(Rules.meterValue(1e9, 15), 15);
        verify(Rules.meterValue(1, 15) > 0.1);
    }
}
