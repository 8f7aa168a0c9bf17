// Colours, fonts and the icon-name map shared by the shell and every plugin view.
// Icons come from the Material Icons font that the build takes from the system's icon-font
// package; a name maps to the font's code point, or to an image of the program.
pragma Singleton
import QtQuick 2.15

QtObject {
    id: root

    readonly property color accent: "#ff5722"        // Material deep orange
    readonly property color accentLight: "#ff8a65"
    readonly property color blueGrey: "#607d8b"
    readonly property color lightGrey: "#d6d6d6"
    readonly property color textColor: "#212121"
    readonly property color textDim: "#757575"
    readonly property color errorColor: "#d32f2f"

    readonly property string iconFontFamily: iconFont.name
    readonly property string displayFontFamily: displayFont.name

    readonly property var view: ({ background: "#eceff1", text: "#212121" })
    readonly property var subView: ({ background: "#f5f5f5", border: "#cfd8dc", text: "#212121" })
    readonly property var tableItem: ({
        header: { background: "#455a64", text: "#ffffff" },
        element: { background: "#ffffff", alternate: "#f5f5f5", text: "#212121" }
    })
    readonly property var dialog: ({ background: "#fafafa", title: "#37474f", titleText: "#ffffff" })
    readonly property var settings: ({ background: "#ffffff", title: "#546e7a", text: "#212121" })
    readonly property var leftMenu: ({
        background: "#263238", section: "#90a4ae", text: "#eceff1",
        selected: "#37474f", hovered: "#2f3d44", icon: "#cfd8dc"
    })
    readonly property var topMenu: ({ background: "#ffffff", text: "#263238", icon: "#455a64" })
    readonly property var card: ({ background: "#ffffff", title: "#37474f", titleText: "#ffffff", border: "#cfd8dc" })
    readonly property var message: ({
        info: { background: "#1e88e5", text: "#ffffff" },
        success: { background: "#43a047", text: "#ffffff" },
        warning: { background: "#fdd835", text: "#e65100" },
        error: { background: "#e53935", text: "#ffffff" }
    })

    readonly property string gridIconUrl: "qrc:/resources/img/grid_icon.svg"

    readonly property var iconImage: ({
        "home": "\ue88a",
        "arrow-left": "\ue314",
        "arrow-right": "\ue315",
        "check": "\ue876",
        "info": "\ue88e",
        "info-outline": "\ue88f",
        "check-circle": "\ue86c",
        "warning": "\ue002",
        "error": "\ue5c9",
        "open": "\ueaf3",
        "folder": "\ue2c7",
        "pencil": "\ue3c9",
        "more-horiz": "\ue5d3",
        "settings": "\ue8b8",
        "gear": "\ue8b8",
        "save": "\ue161",
        "save-raw": "\ue8a7",
        "resize": "\ue89e",
        "close": "\ue5cd",
        "add": "\ue146",
        "trash": "\ue872",
        "wiper": "\uf0ff",
        "expand-more": "\ue5cf",
        "expand-less": "\ue5ce",
        "download": "\uf090",
        "schedule": "\ue8b5",
        "numbers": "\ueac7",
        "west": "\uf1e6",
        "stopwatch": "\ue9e4",
        "iic": "\uf10c",
        "ttm": "\ue922",
        "bar-chart": "\uf20c",
        "auto-tuning": "\ue663",
        "upload": "\ue62a",
        "hammer": "\uea3c",
        "swap-horiz": "\ue8d4",
        "list": "\ue8ef",
        "grid": "\ue8f1",
        "device-desktop": "\ue30c",
        "device-laptop": "\ue31e",
        "play-arrow": "\ue037",
        "stop": "\ue047",
        "drag": "\ue945",
        "rising-edge": "qrc:/resources/img/rising_edge.svg",
        "falling-edge": "qrc:/resources/img/falling_edge.svg",
        "board-render": "qrc:/resources/img/board.svg"
    })

    // The sub-view icon is stored as the grid image's URL; it is drawn with the font's glyph.
    readonly property var iconAliases: ({ "qrc:/resources/img/grid_icon.svg": "grid" })

    // What to draw for an icon name or image URL: {glyph} for a font icon, {url} for an
    // image, an empty url for an unknown name.
    function resolveIcon(source) {
        var key = String(source === undefined || source === null ? "" : source);
        if (iconAliases.hasOwnProperty(key))
            key = iconAliases[key];
        if (iconImage.hasOwnProperty(key)) {
            var value = iconImage[key];
            if (value.indexOf(":/") >= 0)
                return { glyph: "", url: value };
            return { glyph: value, url: "" };
        }
        if (key.indexOf(":/") >= 0 || key.indexOf("/") === 0)
            return { glyph: "", url: key };
        return { glyph: "", url: "" };
    }

    property FontLoader iconFont: FontLoader { source: "qrc:/resources/fonts/MaterialIcons-Regular.ttf" }
    property FontLoader displayFont: FontLoader { source: "qrc:/resources/fonts/Play-Bold.ttf" }
}
