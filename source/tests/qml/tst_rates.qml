import QtQuick 2.15
import QtTest 1.2
import "qrc:/plugin/fennick/rates.js" as Rates

TestCase {
    name: "CounterRateTexts"

    function test_getFreqFromValue() {
        compare(Rates.getFreqFromValue(1234567), "1.23 MHz");
        compare(Rates.getFreqFromValue(999), "999.00 Hz");
        compare(Rates.getFreqFromValue(1000), "1.00 KHz");
        compare(Rates.getFreqFromValue(2.5e9, 1), "2.5 GHz");
        compare(Rates.getFreqFromValue(1234567, 6), "1.234567 MHz");
        compare(Rates.getFreqFromValue(0), "0.00 Hz");
    }

    function test_getValueFromFreq() {
        compare(Rates.getValueFromFreq("1.5 MHz"), 1.5e6);
        compare(Rates.getValueFromFreq(" 2ghz "), 2e9);
        compare(Rates.getValueFromFreq("10 kHZ"), 1e4);
        compare(Rates.getValueFromFreq("10 Hz"), undefined, "plain hertz has no prefix");
        compare(Rates.getValueFromFreq("1.2.3 MHz"), undefined);
        compare(Rates.getValueFromFreq("MHz"), undefined);
    }

    function test_speeds() {
        compare(Rates.getLogSpeedFromValue(0, 9), 0);
        fuzzyCompare(Rates.getLogSpeedFromValue(999, 9), 3 / 9, 1e-12);
        compare(Rates.getLogSpeedFromValue(1e12, 9), 1);
        compare(Rates.getLinearSpeedFromValue(500, 3), 0.5);
        compare(Rates.getLinearSpeedFromValue(5000, 3), 1);
        compare(Rates.getLogSpeedFromValue(10, 0), 1, "a zero full scale fills the gauge");
        compare(Rates.getLogSpeedFromValue(0, 0), 0);
    }

    // Each prefix starts exactly at its power of a thousand.
    function test_getFreqFromValue_boundaries() {
        compare(Rates.getFreqFromValue(999999, 0), "1000 KHz");
        compare(Rates.getFreqFromValue(1e6), "1.00 MHz");
        compare(Rates.getFreqFromValue(1e6 + 1, 6), "1.000001 MHz");
        compare(Rates.getFreqFromValue(999999999, 0), "1000 MHz");
        compare(Rates.getFreqFromValue(1e9), "1.00 GHz");
        compare(Rates.getFreqFromValue(1e12), "1000.00 GHz", "no prefix above giga");
        compare(Rates.getFreqFromValue(999.5, 1), "999.5 Hz");
    }
}
