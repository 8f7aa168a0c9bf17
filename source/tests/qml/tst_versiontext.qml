import QtQuick 2.15
import QtTest 1.2
import "qrc:/qml/mainWindow/versiontext.js" as VersionText

TestCase {
    name: "VersionTexts"

    readonly property string tag: "kestrane_top;repo = git@host:tdc.git;SHA = 17fd4c7;branch = main"

    function test_firmwareTag() {
        compare(VersionText.tagName(tag), "kestrane_top");
        compare(VersionText.tagField(tag, "repo"), "git@host:tdc.git");
        compare(VersionText.tagField(tag, "SHA"), "17fd4c7");
        compare(VersionText.tagField(tag, "branch"), "main");
        compare(VersionText.tagField("kestrane_top;repo = r;SHA = 1", "branch"), "N/A");
        compare(VersionText.tagName("No board connected"), "No board connected");
        compare(VersionText.tagField("No board connected", "SHA"), "N/A");
    }

    function test_versionWithBuild() {
        compare(VersionText.versionWithBuild("1.4.2.2", "Version v1 built by h at t ", false), "1.4.2.2 (Version v1 built by h at t)");
        compare(VersionText.versionWithBuild("1.4.2.2", "Version v1 ", true), "1.4.2.2");
    }

    function test_moduleRows() {
        var counter = { name: "Counter", priority: 16384, version: "1.2.0",
                        modelList: [{ swVersion: "v2.0.1", hwVersion: "v1.0.0" }] };
        var threshold = { name: "Programmable Threshold", priority: 1026, version: "1.0.0", modelList: [] };
        var rows = VersionText.moduleRows([threshold, counter], true);
        compare(rows.length, 2);
        compare(rows[0].name, "Counter");
        compare(rows[0].backend, "Backend: v2.0.1");
        compare(rows[0].firmware, "Firmware: v1.0.0");
        compare(rows[1].backend, "Backend: N.A.");
        rows = VersionText.moduleRows([counter], false);
        compare(rows[0].firmware, "Firmware: N.A.", "nothing is read from models while disconnected");
    }
}
