// Entry: a splash window while the main window is built in the background; the main window
// appears when it is ready and the splash has been up for two seconds.
import QtQuick 2.15
import QtQuick.Window 2.15

QtObject {
    id: root

    property bool timeUp: false
    property var mainWindow: null

    function showMainWindow() {
        if (!timeUp || !mainWindow)
            return;
        mainWindow.showRestored();
        splash.close();
    }

    function mainWindowReady(object) {
        mainWindow = object;
        showMainWindow();
    }

    property Window splash: Window {
        objectName: "splash"
        flags: Qt.SplashScreen | Qt.FramelessWindowHint
        height: 400
        width: 1.618 * height
        x: (Screen.width - width) / 2
        y: (Screen.height - height) / 2
        color: "white"
        visible: true

        Image {
            anchors.fill: parent
            anchors.margins: 48
            source: "qrc:/resources/img/splash.svg"
            sourceSize.width: width
            fillMode: Image.PreserveAspectFit
            smooth: true
        }

        Timer {
            interval: 2000
            running: true
            onTriggered: {
                root.timeUp = true;
                root.showMainWindow();
            }
        }
    }

    // The main window is built without a parent window, so that it is nobody's transient.
    Component.onCompleted: {
        var component = Qt.createComponent("qrc:/MainWindow.qml", Component.Asynchronous);
        function incubate() {
            if (component.status === Component.Error) {
                console.error("Cannot load the main window:", component.errorString());
                Qt.exit(-1);
                return;
            }
            if (component.status !== Component.Ready)
                return;
            var incubator = component.incubateObject(null, {}, Qt.Asynchronous);
            if (incubator.status === Component.Ready) {
                mainWindowReady(incubator.object);
                return;
            }
            incubator.onStatusChanged = function(status) {
                if (status === Component.Ready)
                    mainWindowReady(incubator.object);
                else if (status === Component.Error)
                    console.error("Cannot create the main window.");
            };
        }
        if (component.status === Component.Loading)
            component.statusChanged.connect(incubate);
        else
            incubate();
    }
}
