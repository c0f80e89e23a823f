// Shotcut's description of Quellix Shine through its frei0r bridge
// (lib/frei0r-1/quellix_shine.so).
import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr("Quellix Shine")
    mlt_service: "frei0r.quellix_shine"
    keywords: qsTr("lens flare light glow blue", "search keywords for the Quellix Shine video filter")
    qml: "ui.qml"
}
