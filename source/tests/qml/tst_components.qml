import QtQuick 2.15
import QtTest 1.2
import "qrc:/qml/utils"

TestCase {
    id: test
    name: "Components"
    when: windowShown

    TextFieldHinted { id: field }
    StandardSaveFile { id: saveFile }
    SignalSpy { id: invalidSpy; target: saveFile; signalName: "invalid" }
    ColoredIcon { id: icon }

    function test_hintedPatterns() {
        field.regexp = field.stdRegex.sec_units;
        field.text = "19.20ns";
        verify(field.valid);
        compare(field.catchValues, ["19.20", "ns"]);
        field.text = "19.20 min";
        verify(!field.valid);
        compare(field.catchValues, []);

        field.regexp = field.stdRegex.file_size;
        field.text = "100mb";
        verify(field.valid, "sizes in any case");
        field.text = "100 XB";
        verify(!field.valid);

        field.regexp = field.stdRegex.date_time;
        field.text = "1d2h3m4s";
        verify(field.valid);
        field.text = "3m";
        verify(field.valid);
        field.text = "";
        verify(!field.valid, "an empty text is never valid");
        field.text = "soon";
        verify(!field.valid);

        field.regexp = /.*/;
        field.text = "anything";
        field.textValid = false;
        verify(!field.valid, "the owner can refuse a text the pattern accepts");
        field.textValid = true;
    }

    function test_saveFileExplainsWhatIsMissing() {
        fileUtils.writable = false;
        saveFile.fileName = "data";
        compare(saveFile.isValid(), false);
        compare(invalidSpy.signalArguments[0][0], "FOLDER PATH");
        compare(invalidSpy.signalArguments[0][1], "Select a valid forlder path");
        fileUtils.writable = true;
        saveFile.folderURL = "file:///tmp/elsewhere";
        saveFile.fileName = "  ";
        compare(saveFile.isValid(), false);
        compare(invalidSpy.signalArguments[1][0], "FILE NAME");
        compare(invalidSpy.signalArguments[1][1], "Select a valid file name");
        saveFile.fileName = "data";
        compare(saveFile.isValid(), true);
        compare(invalidSpy.count, 2);
    }

    function test_iconNames() {
        icon.sourceImage = "stopwatch";
        verify(icon.isGlyph, "plugin icons come from the icon font");
        compare(icon.resolved.glyph, "\ue9e4");
        icon.sourceImage = "qrc:/resources/img/grid_icon.svg";
        verify(icon.isGlyph, "the sub-view image is drawn with the font's grid glyph");
        icon.sourceImage = "board-render";
        compare(icon.resolved.url, "qrc:/resources/img/board.svg");
        icon.sourceImage = "qrc:/plugin/some/picture.png";
        compare(icon.resolved.url, "qrc:/plugin/some/picture.png");
        icon.sourceImage = "no-such-icon";
        compare(icon.resolved.url, "");
        verify(!icon.isGlyph);
    }

    function test_iconFontIsShipped() {
        tryVerify(function() { return Style.iconFont.status === FontLoader.Ready; });
        compare(Style.iconFontFamily, "Material Icons");
        tryVerify(function() { return Style.displayFont.status === FontLoader.Ready; });
        compare(Style.displayFontFamily, "Play");
    }
}
