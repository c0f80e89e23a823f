// The six sliders of Quellix Shine, in percent; the filter takes 0..1.
import QtQuick 2.0
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut

Item {
    width: 350
    height: 250

    function setControls() {
        flareX.value = filter.getDouble('Flare X') * 100
        flareY.value = filter.getDouble('Flare Y') * 100
        intensity.value = filter.getDouble('Intensity') * 100
        size.value = filter.getDouble('Size') * 100
        autoMove.value = filter.getDouble('Auto Move') * 100
        strobe.value = filter.getDouble('Strobe') * 100
    }

    Component.onCompleted: {
        if (filter.isNew) {
            filter.set('Flare X', 0.5)
            filter.set('Flare Y', 0.5)
            filter.set('Intensity', 0.9)
            filter.set('Size', 0.6)
            filter.set('Auto Move', 0.5)
            filter.set('Strobe', 0.0)
            filter.savePreset(preset.parameters)
        }
        setControls()
    }

    GridLayout {
        anchors.fill: parent
        anchors.margins: 8
        columns: 3

        Label {
            text: qsTr('Preset')
            Layout.alignment: Qt.AlignRight
        }
        Shotcut.Preset {
            id: preset
            Layout.columnSpan: 2
            parameters: ['Flare X', 'Flare Y', 'Intensity', 'Size', 'Auto Move', 'Strobe']
            onPresetSelected: setControls()
        }

        Label {
            text: qsTr('Flare X')
            Layout.alignment: Qt.AlignRight
        }
        Shotcut.SliderSpinner {
            id: flareX
            minimumValue: 0
            maximumValue: 100
            decimals: 1
            suffix: ' %'
            onValueChanged: filter.set('Flare X', value / 100)
        }
        Shotcut.UndoButton {
            onClicked: flareX.value = 50
        }

        Label {
            text: qsTr('Flare Y')
            Layout.alignment: Qt.AlignRight
        }
        Shotcut.SliderSpinner {
            id: flareY
            minimumValue: 0
            maximumValue: 100
            decimals: 1
            suffix: ' %'
            onValueChanged: filter.set('Flare Y', value / 100)
        }
        Shotcut.UndoButton {
            onClicked: flareY.value = 50
        }

        Label {
            text: qsTr('Intensity')
            Layout.alignment: Qt.AlignRight
        }
        Shotcut.SliderSpinner {
            id: intensity
            minimumValue: 0
            maximumValue: 100
            decimals: 1
            suffix: ' %'
            onValueChanged: filter.set('Intensity', value / 100)
        }
        Shotcut.UndoButton {
            onClicked: intensity.value = 90
        }

        Label {
            text: qsTr('Size')
            Layout.alignment: Qt.AlignRight
        }
        Shotcut.SliderSpinner {
            id: size
            minimumValue: 0
            maximumValue: 100
            decimals: 1
            suffix: ' %'
            onValueChanged: filter.set('Size', value / 100)
        }
        Shotcut.UndoButton {
            onClicked: size.value = 60
        }

        Label {
            text: qsTr('Auto Move')
            Layout.alignment: Qt.AlignRight
        }
        Shotcut.SliderSpinner {
            id: autoMove
            minimumValue: 0
            maximumValue: 100
            decimals: 1
            suffix: ' %'
            onValueChanged: filter.set('Auto Move', value / 100)
        }
        Shotcut.UndoButton {
            onClicked: autoMove.value = 50
        }

        Label {
            text: qsTr('Strobe')
            Layout.alignment: Qt.AlignRight
        }
        Shotcut.SliderSpinner {
            id: strobe
            minimumValue: 0
            maximumValue: 100
            decimals: 1
            suffix: ' %'
            onValueChanged: filter.set('Strobe', value / 100)
        }
        Shotcut.UndoButton {
            onClicked: strobe.value = 0
        }

        Item {
            Layout.fillHeight: true
        }
    }
}
