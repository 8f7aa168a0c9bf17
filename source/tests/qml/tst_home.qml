import QtQuick 2.15
import QtTest 1.2

TestCase {
    id: test
    name: "HomeView"
    when: windowShown

    property var window: null

    readonly property var boards: [
        { "index": 0, "class": "LibFTDI", "serialNumber": "FT1234", "boardName": "Kestrane", "description": "USB board" },
        { "index": 1, "class": "Serial", "serialNumber": "ttyUSB0", "boardName": "Kestrane", "description": "serial" },
        { "index": 2, "class": "D3XX", "serialNumber": "VIRTUAL-0001", "boardName": "Kestrane", "description": "Virtual Kestrane board" }
    ]

    function findByName(item, name) {
        if (!item)
            return null;
        if (item.objectName === name && item.visible !== false)
            return item;
        var kids = item.children || [];
        for (var i = 0; i < kids.length; ++i) {
            var found = findByName(kids[i], name);
            if (found)
                return found;
        }
        return null;
    }

    function init() {
        settings.clear();
        tdc_backed.isConnected = false;
        tdc_backed.isConnecting = false;
        tdc_backed.connectedDevice = -1;
        tdc_backed.calls = [];
        tdc_backed.deviceListMap = boards;
        window = Qt.createComponent("qrc:/MainWindow.qml").createObject(null);
        window.showRestored();
        tryVerify(function() { return window.visible; });
        window.requestActivate();
    }

    function cleanup() {
        window.destroy();
        wait(0);
    }

    function test_serialModeShowsSerialBoards() {
        var home = window.homeView;
        compare(home.shownBoards.length, 2);
        compare(window.frame.topBar.subViewCount, 2);
        tryVerify(function() { return window.active; });
        keyClick(Qt.Key_S, Qt.ShiftModifier);
        compare(home.serialMode, true);
        compare(home.shownBoards.length, 3);
        compare(window.frame.topBar.title, "Kestrane");
        keyClick(Qt.Key_S, Qt.ShiftModifier);
        compare(home.shownBoards.length, 2);
    }

    function test_pagesAndLinkTexts() {
        var home = window.homeView;
        home.serialMode = true;
        var texts = [];
        for (var i = 0; i < 3; ++i) {
            tryVerify(function() { return findByName(home, "linkText") !== null; });
            wait(400);
            texts.push(home.currentBoard["class"] + "=" + home.currentBoard.serialNumber);
            window.frame.topBar.incrementIndex();
        }
        compare(texts, ["LibFTDI=FT1234", "Serial=ttyUSB0", "D3XX=VIRTUAL-0001"]);
        compare(home.subViewIndex, 0, "the arrows wrap from last to first");
        window.frame.topBar.decrementIndex();
        compare(home.subViewIndex, 2, "and back");
    }

    function test_boardPageTexts() {
        var component = Qt.createComponent("qrc:/qml/home/BoardPage.qml");
        var usb = component.createObject(test, { board: boards[0] });
        compare(usb.linkText, "USB link");
        compare(usb.isVirtual, false);
        var serial = component.createObject(test, { board: boards[1] });
        compare(serial.linkText, "Serial link");
        var ft60x = component.createObject(test, { board: boards[2] });
        compare(ft60x.linkText, "USB link");
        compare(ft60x.isVirtual, true);
        compare(usb.buttonText, "CONNECT");
        usb.isConnecting = true;
        compare(usb.buttonText, "CONNECTING...");
        usb.isConnecting = false;
        usb.isConnected = true;
        usb.connectedDevice = 0;
        compare(usb.buttonText, "DISCONNECT");
        compare(serial.buttonText, "CONNECT");
        usb.destroy(); serial.destroy(); ft60x.destroy();
    }

    function test_connectButtonCallsBackend() {
        var button = null;
        var pages = findChild(window.homeView, "boardPages");
        tryVerify(function() { button = findByName(pages.currentItem, "connectButton"); return button !== null; });
        compare(button.text, "CONNECT");
        // The pages are laid out side by side once the swipe view has its size.
        tryVerify(function() { return pages.itemAt(1).x >= pages.width; });
        mouseClick(button);
        compare(tdc_backed.calls, ["connectToDevice(0)"]);
    }

    function test_connectionMessages() {
        var messages = null;
        tdc_backed.connectionResult(4);
        tdc_backed.connectionResult(2);
        tdc_backed.connectionResult(3);
        var cards = [];
        function collect(item) {
            if (item.title !== undefined && item.message !== undefined && item.type !== undefined)
                cards.push(item.type + ":" + item.title + ":" + item.message);
            for (var i = 0; i < item.children.length; ++i)
                collect(item.children[i]);
        }
        collect(window.contentItem);
        compare(cards, ["warning:CONNECTION REFUSED:Is not the correct port. Please, try with another one.",
                        "success:CONNECTED:Connected to Kestrane board.",
                        "info:DISCONNECTED:Disconnected from Kestrane board."]);
    }
}
