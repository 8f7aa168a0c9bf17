import QtQuick 2.15
import QtTest 1.2
import "qrc:/qml/utils/functions.js" as Functions

TestCase {
    name: "SharedFunctions"

    function test_generateUUID() {
        var seen = {};
        for (var i = 0; i < 50; ++i) {
            var id = Functions.generateUUID();
            verify(/^_[0-9a-z]{9}$/.test(id), id);
            seen[id] = true;
        }
        verify(Object.keys(seen).length > 45, "identifiers repeat");
    }

    function test_format_time_data() {
        return [
            { tag: "ns", value: 2.5e-9, decimals: undefined, number: "2.50", unit: "ns" },
            { tag: "zero", value: 0, decimals: undefined, number: "0", unit: "fs" },
            { tag: "attoseconds", value: 3e-18, decimals: 1, number: "3.0", unit: "as" },
            { tag: "fs", value: 4.25e-15, decimals: 3, number: "4.250", unit: "fs" },
            { tag: "ps", value: 1e-12, decimals: 0, number: "1", unit: "ps" },
            { tag: "us", value: 999e-9, decimals: 2, number: "999.00", unit: "ns" },
            { tag: "ms boundary", value: 1e-3, decimals: 2, number: "1.00", unit: "ms" },
            { tag: "seconds", value: 12.5, decimals: 1, number: "12.5", unit: "s" },
            { tag: "negative", value: -2.5e-9, decimals: 2, number: "-2.50", unit: "ns" },
            { tag: "not a number", value: NaN, decimals: 2, number: "0", unit: "fs" }
        ];
    }

    function test_format_time(data) {
        var pair = Functions.format_time(data.value, data.decimals);
        compare(pair[0], data.number);
        compare(pair[1], data.unit);
    }

    function test_format_time_text() {
        compare(Functions.format_time_text(2.5e-9), "2.50 ns");
        compare(Functions.format_time_text(1e-20), "0");
        compare(Functions.format_time_text(0.25, 1), "250.0 ms");
    }

    function test_convert_to_seconds() {
        compare(Functions.convert_to_seconds(5, "ns"), 5e-9);
        compare(Functions.convert_to_seconds(2, "ms"), 2e-3);
        compare(Functions.convert_to_seconds(7, "as"), 7e-18);
        compare(Functions.convert_to_seconds(7, "s"), 7);
        compare(Functions.convert_to_seconds(7, "minutes"), 7);
    }

    function test_read_time() {
        compare(Functions.read_time_and_unit(" 19.20 ns"), [19.2, "ns"]);
        compare(Functions.read_time_and_unit("3s"), [3, "s"]);
        compare(Functions.read_time_and_unit("5 ms"), [5, "ms"]);
        compare(Functions.read_time_and_unit("5 min"), false);
        compare(Functions.read_time_and_unit("ns"), false);
        compare(Functions.read_time_and_unit("1.2.3ns"), false, "a malformed number is refused");
        compare(Functions.read_time_and_unit("-1ns"), false);
        fuzzyCompare(Functions.read_time_seconds("250 ps"), 250e-12, 1e-24);
        compare(Functions.read_time_seconds("fast"), false);
    }

    function test_rates_and_sizes() {
        compare(Functions.format_to_hertz(999), "999.00 Hz");
        compare(Functions.format_to_hertz(1000), "1.00 kHz");
        compare(Functions.format_to_hertz(2.5e6), "2.50 MHz");
        compare(Functions.format_to_hertz(3e9), "3.00 GHz");
        compare(Functions.format_to_samples(1500), "1.50 kSamples");
        compare(Functions.format_to_samples(1500, true), "1.50 kSa");
        compare(Functions.format_to_samples(12), "12.00Samples");
        compare(Functions.format_to_samplerate(2e6, true), "2.00 MSa/s");
        compare(Functions.format_to_bytes(512), "512.00 B");
        compare(Functions.format_to_bytes(2048), "2.00 kB");
        compare(Functions.format_to_bytes(3 * 1024 * 1024), "3.00 MB");
        compare(Functions.format_to_bytes(1024 * 1024 * 1024), "1.00 GB");
        compare(Functions.format_to_unit(1500, "V"), "1.50kV");
        compare(Functions.format_to_unit(15, "V"), "15.00 V");
    }

    function test_durations() {
        compare(Functions.date_to_seconds("1h30m"), 5400);
        compare(Functions.date_to_seconds("1d2h3m4s"), 93784);
        compare(Functions.date_to_seconds(""), 0);
        compare(Functions.date_to_milliseconds("1s250ms"), 1250);
        compare(Functions.date_to_milliseconds("2m"), 120000);
        compare(Functions.seconds_to_date(3725), "1h2m5s");
        compare(Functions.seconds_to_date(0), "0s");
        compare(Functions.seconds_to_date(3600), "1h");
        compare(Functions.seconds_to_date(90000), "25h", "hours are not folded into days");
        compare(Functions.seconds_to_date(61.9), "1m1s");
    }

    function test_file_size_to_bytes() {
        compare(Functions.file_size_to_bytes("100MB"), 100 * 1048576);
        compare(Functions.file_size_to_bytes("2GB 1MB"), 2 * 1073741824 + 1048576);
        compare(Functions.file_size_to_bytes("512kb"), 512 * 1024, "sizes the field accepts count");
        compare(Functions.file_size_to_bytes("nothing"), 0);
    }

    // Each prefix starts exactly at its power of a thousand.
    function test_hertz_boundaries() {
        compare(Functions.format_to_hertz(1e6), "1.00 MHz");
        compare(Functions.format_to_hertz(999999), "1000.00 kHz");
        compare(Functions.format_to_hertz(1e9), "1.00 GHz");
        compare(Functions.format_to_hertz(999999999), "1000.00 MHz");
        compare(Functions.format_to_samples(1e6, true), "1.00 MSa");
        compare(Functions.format_to_samples(1e9, true), "1.00 GSa");
    }
}
