// The maker's mark at the top of the left bar, the same picture as the splash.
import QtQuick 2.15

Image {
    id: root

    source: "qrc:/resources/img/splash.svg"
    sourceSize.width: width
    fillMode: Image.PreserveAspectFit
    smooth: true
}
