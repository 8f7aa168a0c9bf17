import QtQuick 2.15
import QtTest 1.2
import TDCFrontend 1.0
import "qrc:/plugin/histogrammermodule/qml/utils/histformat.js" as Format
import "qrc:/plugin/histogrammermodule/qml/utils/channels.js" as Channels
import "qrc:/plugin/histogrammermodule/qml/utils/histfiles.js" as Files

TestCase {
    name: "HistogramHelpers"

    function test_formatNumber_data() {
        return [
            { tag: "zero", value: 0, expected: [0, "fs"] },
            { tag: "below as", value: 5e-19, expected: [0, "fs"] },
            { tag: "as", value: 5e-18, expected: ["5.00", "as"] },
            { tag: "fs", value: 2.5e-14, expected: ["25.00", "fs"] },
            { tag: "ps", value: 2.5e-10, expected: ["250.00", "ps"] },
            { tag: "ns", value: 1.2e-8, expected: ["12.00", "ns"] },
            { tag: "negative ns", value: -5e-9, expected: ["-5.00", "ns"] },
            { tag: "us", value: 3e-5, expected: ["30.00", "us"] },
            { tag: "ms", value: 0.05, expected: ["50.00", "ms"] },
            { tag: "s", value: 2, expected: ["2.00", "s"] },
            { tag: "NaN", value: NaN, expected: [0, "fs"] }
        ];
    }

    function test_formatNumber(data) {
        compare(Format.format_number(data.value), data.expected);
    }

    function test_formatNumberDecimals() {
        compare(Format.format_number(1.2344e-9, 3), ["1.234", "ns"]);
        compare(Format.format_number(1e-3, 0)[1], "ms", "1 ms is not below 1e-3");
        compare(Format.format_text(2.5e-10, 1), "250.0 ps");
    }

    function test_txtToNumber() {
        fuzzyCompare(Format.txt_to_number(250, "ps"), 2.5e-10, 1e-22);
        fuzzyCompare(Format.txt_to_number(3, "as"), 3e-18, 1e-30);
        compare(Format.txt_to_number(4, "s"), 4);
        compare(Format.txt_to_number(4, "xyz"), 4);
    }

    function test_formatCount() {
        compare(Format.formatNumber(999), "999");
        compare(Format.formatNumber(1500), "1.5 K");
        compare(Format.formatNumber(2500000, 2), "2.50 M");
        compare(Format.formatNumber(3e9), "3.0 G");
    }

    function test_fieldPatterns_data() {
        return [
            { tag: "bin width 250 ps", parse: Format.parseBinWidth, text: "250 ps", expected: 2.5e-10 },
            { tag: "bin width with spaces", parse: Format.parseBinWidth, text: "  10ns ", expected: 1e-8 },
            { tag: "bin width negative", parse: Format.parseBinWidth, text: "-1 ns", expected: null },
            { tag: "bin width zero", parse: Format.parseBinWidth, text: "0 ns", expected: null },
            { tag: "bin width without unit", parse: Format.parseBinWidth, text: "10", expected: null },
            { tag: "bound negative", parse: Format.parseBound, text: "-1 ns", expected: -1e-9 },
            { tag: "bound seconds", parse: Format.parseBound, text: "0.5 s", expected: 0.5 },
            { tag: "bound two points", parse: Format.parseBound, text: "1.2.3 ns", expected: null },
            { tag: "bound lone point", parse: Format.parseBound, text: ". ns", expected: null },
            { tag: "bound unknown unit", parse: Format.parseBound, text: "5 ks", expected: null },
            { tag: "bound capital unit", parse: Format.parseBound, text: "5 NS", expected: null }
        ];
    }

    function test_fieldPatterns(data) {
        var value = data.parse(data.text);
        if (data.expected === null)
            compare(value, null);
        else
            fuzzyCompare(value, data.expected, Math.abs(data.expected) * 1e-12);
    }

    function test_refreshPeriod() {
        compare(Format.parsePeriodMs("0.05 s"), 50);
        compare(Format.parsePeriodMs("20ms"), 20);
        compare(Format.parsePeriodMs("1 us"), null, "only s and ms");
        compare(Format.parsePeriodMs("-1 s"), null, "a period is positive");
        compare(Format.parsePeriodMs("0.0001 s"), null, "below one millisecond");
        compare(Format.periodText(50), "0.05 s");
        compare(Format.parsePeriodMs(Format.periodText(1250)), 1250, "shown text reads back");
    }

    function test_axisFormatter() {
        compare(Format.formatAxis(2.5e-9), "2.50 ns");
        compare(Format.formatAxis(0), "0.00 s");
        compare(Format.formatAxis(1500), "1500.00 s", "no prefix above one second");
        compare(Format.formatAxis(1500, 2, 1, 0, "m"), "1.50 Km");
        compare(Format.formatAxis(1e-9, 1, 1e3, 0, "m"), "1.0 um");
        compare(Format.formatAxis(1e-9, 2, 1, 1e-9), "2.00 ns", "the offset is added");
        compare(Format.formatAxis(-3e-6), "-3.00 us");
        compare(Format.formatAxis(9.99999e-10), "1.00 ns", "rounding carries to the next prefix");
    }

    function test_channelItems() {
        var items = Channels.channelItems(4, true);
        compare(items.map(function(i) { return i.text; }),
                ["SYNC R", "CH1 R", "CH1 F", "CH2 R", "CH2 F", "CH3 R", "CH3 F"]);
        var meas = Channels.channelItems(4, false);
        compare(meas.length, 6);
        compare(meas[0].text, "CH1 R");
        compare(Channels.edgeIcon("CH2 F"), "falling-edge");
        compare(Channels.edgeIcon("SYNC R"), "rising-edge");
    }

    function test_edgeValuesAreTheProgramsEnum() {
        compare(Channels.RISING, EEdge.RISING);
        compare(Channels.FALLING, EEdge.FALLING);
    }

    function test_indexMappingRoundTrips() {
        for (var s = 0; s < 2; ++s) {
            var withSync = s === 1;
            var items = Channels.channelItems(9, withSync);
            for (var k = 0; k < items.length; ++k) {
                var pair = Channels.indexToChannel(k, withSync);
                compare(pair.channel, items[k].channel, "channel of index " + k);
                compare(pair.edge, items[k].edge, "edge of index " + k);
                compare(Channels.channelToIndex(pair.channel, pair.edge, withSync), k);
            }
        }
        var ch2f = Channels.indexToChannel(4, true);
        compare([ch2f.channel, ch2f.edge], [2, EEdge.FALLING]);
        compare(Channels.channelToIndex(0, EEdge.RISING, false), -1, "no sync in the measurement menu");
        compare(Channels.channelToIndex(0, EEdge.FALLING, true), -1, "sync has only a rising item");
        compare(Channels.channelToIndex(2, EEdge.BOTH, true), -1, "both edges are not offered");
    }

    function test_saveFileName() {
        compare(Files.saveFileName("a.", "json"), "a.json");
        compare(Files.saveFileName("a.json", "json"), "a.json");
        compare(Files.saveFileName("a", "json"), "a.json");
        compare(Files.saveFileName("ajson", "json"), "ajson.json");
        compare(Files.joinPath("/tmp/", "x.json"), "/tmp/x.json");
    }

    function test_parametersRoundTrip() {
        var models = [{ name: "Histogram 0", refPolarity: 1, refCH: 0, measPolarity: 2, measCH: 3,
                        leftBound: -1e-9, rightBound: 2e-8, binWidth: 1e-11, refreshPeriod: 50, isActive: true }];
        var text = Files.parametersJson(models);
        compare(Object.keys(JSON.parse(text)[0]), Files.paramKeys, "keys in file order, nothing else");
        verify(text.indexOf("\n    {") >= 0, "four-space indent");
        var parsed = Files.parseParameters(text);
        compare(parsed.entries.length, 1);
        compare(parsed.entries[0].leftBound, -1e-9);
        compare(Files.parseParameters("[{\"name\": ").error, "parse");
        compare(Files.parseParameters("{\"name\": 1}").error, "parse", "not an array");
        compare(Files.parseParameters("[1, 2]").error, "parse", "entries must be objects");
        compare(Files.parseParameters("").error, "parse");
    }

    function test_rules() {
        var taken = ["Chart", "Chart_1"];
        compare(Files.firstFreeName("Chart", function(n) { return taken.indexOf(n) >= 0; }), "Chart_2");
        compare(Files.firstFreeName("New", function(n) { return false; }), "New");
        compare(Files.colorFor(0), '#2f7ed8');
        compare(Files.colorFor(10), '#2f7ed8', "the palette wraps");
        compare([1001, 1000, 501, 101, 51, 50].map(Files.movingAverageDepth), [16, 8, 8, 4, 2, 1]);
        compare(Files.repetitionsFor(1000, 50), 20);
        compare(Files.repetitionsFor(1010, 50), 21);
        compare(Files.repetitionsFor(1000, 0), 0);
        compare(Files.miniChartPoints(99), 99);
        compare(Files.miniChartPoints(100), -1);
        verify(Files.imageRateWarning([".png"], 49));
        verify(!Files.imageRateWarning([".png"], 50));
        verify(Files.imageRateWarning([".jpeg", ".csv"], 19));
        verify(!Files.imageRateWarning([".jpeg"], 20));
        verify(!Files.imageRateWarning([".csv"], 1));
    }

    function test_nameProblem_data() {
        return [
            { tag: "plain", name: "Delay 1-2", problem: "" },
            { tag: "trimmed", name: "  Start  ", problem: "" },
            { tag: "empty", name: "   ", problem: "The name can not be empty" },
            { tag: "slash", name: "a/b", problem: "Not allowed in a name: / \\ : * ? \" < > |" },
            { tag: "backslash", name: "a\\b", problem: "Not allowed in a name: / \\ : * ? \" < > |" },
            { tag: "colon", name: "ch:1", problem: "Not allowed in a name: / \\ : * ? \" < > |" },
            { tag: "newline", name: "a\nb", problem: "Not allowed in a name: / \\ : * ? \" < > |" },
            { tag: "dots", name: "..", problem: "Not a name" },
            { tag: "32 characters", name: "abcdefghijklmnopqrstuvwxyz012345", problem: "" },
            { tag: "33 characters", name: "abcdefghijklmnopqrstuvwxyz0123456", problem: "At most 32 characters" },
            { tag: "taken", name: "Histogram 1", problem: "Another histogram has this name" },
            { tag: "taken after trim", name: " Histogram 1 ", problem: "Another histogram has this name" }
        ];
    }

    function test_nameProblem(data) {
        compare(Files.nameProblem(data.name, ["Histogram 1", "Histogram 2"]), data.problem);
    }

    function test_axisUnitRules() {
        compare(Files.unitProblem("ns"), "");
        compare(Files.unitProblem(" m "), "");
        compare(Files.unitProblem(""), "The unit can not be empty");
        compare(Files.unitProblem("123456789"), "At most 8 characters");
        compare(Files.parsePlainNumber("2.5e-9"), 2.5e-9);
        compare(Files.parsePlainNumber(" -12 "), -12);
        compare(Files.parsePlainNumber(".5"), 0.5);
        compare(Files.parsePlainNumber("0"), 0);
        compare(Files.parsePlainNumber("1e400"), null, "not finite");
        compare(Files.parsePlainNumber("12 ns"), null);
        compare(Files.parsePlainNumber(""), null);
        compare(Files.parsePlainNumber("0x10"), null);
        compare(Files.parseFactor("1e9"), 1e9);
        compare(Files.parseFactor("-0.5"), -0.5);
        compare(Files.parseFactor("0"), null, "every value would read the same");
        compare(Files.parseFactor("0.0e5"), null);
        compare(Files.plainNumberText(2e8), "2e+8");
        compare(Files.plainNumberText(-1.5), "-1.5");
        compare(Files.plainNumberText(2.5e-9), "2.5e-9");
        compare(Files.plainNumberText(0), "0");
        compare(Files.parsePlainNumber(Files.plainNumberText(1.499e8)), 1.499e8, "shown text reads back");
    }
}
