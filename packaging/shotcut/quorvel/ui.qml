// Quorvel (moving)'s panel in Shotcut: the picture, the glide's times, the
// border, the look and the motion. The rectangles are dragged on the player.
import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Dialogs 1.2
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut

Item {
    id: root

    // Each slider: its filter parameter, its range as the panel shows it,
    // and the factor from the panel's value to the filter's.
    property var sliders: [
        {'name': 'start time', 'label': qsTr('Glide starts at'), 'from': 0, 'to': 600, 'factor': 1, 'suffix': ' s', 'decimals': 2},
        {'name': 'end time', 'label': qsTr('Glide ends at'), 'from': 0, 'to': 600, 'factor': 1, 'suffix': ' s', 'decimals': 2},
        {'name': 'border', 'label': qsTr('Border width'), 'from': 0, 'to': 100, 'factor': 100, 'suffix': ' %', 'decimals': 0},
        {'name': 'opacity', 'label': qsTr('Opacity'), 'from': 0, 'to': 100, 'factor': 100, 'suffix': ' %', 'decimals': 0},
        {'name': 'turn', 'label': qsTr('Turn'), 'from': -100, 'to': 100, 'factor': 100, 'suffix': ' %', 'decimals': 0},
        {'name': 'spin', 'label': qsTr('Spin'), 'from': -8, 'to': 8, 'factor': 1, 'suffix': qsTr(' turns'), 'decimals': 2},
        {'name': 'motion blur', 'label': qsTr('Motion blur'), 'from': 0, 'to': 100, 'factor': 100, 'suffix': ' %', 'decimals': 0}
    ]
    property var blends: ['normal', 'multiply', 'screen', 'overlay', 'darken', 'lighten', 'color-dodge', 'color-burn', 'soft-light', 'hard-light', 'difference', 'exclusion', 'hue', 'saturation', 'color', 'luminosity']
    property var blendNames: [qsTr('Normal'), qsTr('Multiply'), qsTr('Screen'), qsTr('Overlay'), qsTr('Darken'), qsTr('Lighten'), qsTr('Color Dodge'), qsTr('Color Burn'), qsTr('Soft Light'), qsTr('Hard Light'), qsTr('Difference'), qsTr('Exclusion'), qsTr('Hue'), qsTr('Saturation'), qsTr('Color'), qsTr('Luminosity')]
    property var easings: ['linear', 'ease-in', 'ease-out', 'ease-in-out']
    property var easingNames: [qsTr('Linear'), qsTr('Ease in'), qsTr('Ease out'), qsTr('Ease in and out')]

    function defaults() {
        filter.set('start left', 0.1);
        filter.set('start top', 0.1);
        filter.set('start width', 0.3);
        filter.set('start height', 0.3);
        filter.set('end left', 0.6);
        filter.set('end top', 0.6);
        filter.set('end width', 0.3);
        filter.set('end height', 0.3);
        filter.set('start time', 0);
        filter.set('end time', 2);
        filter.set('border colour', '#ffffffff');
        filter.set('opacity', 1);
        filter.set('blend', 'normal');
        filter.set('smooth', 1);
        filter.set('easing', 'linear');
        filter.savePreset(preset.parameters);
    }

    function showSettings() {
        pictureField.text = filter.get('resource') !== '' ? filter.get('resource') : filter.get('picture');
        blendCombo.currentIndex = Math.max(0, blends.indexOf(filter.get('blend')));
        easingCombo.currentIndex = Math.max(0, easings.indexOf(filter.get('easing')));
        smoothBox.checked = filter.get('smooth') !== '0';
        colourPicker.value = filter.get('border colour');
    }

    width: 350
    height: 420
    Component.onCompleted: {
        if (filter.isNew)
            defaults();
        showSettings();
    }

    FileDialog {
        id: pictureDialog

        title: qsTr('Choose the picture')
        selectMultiple: false
        nameFilters: [qsTr('Pictures') + ' (*.png *.jpg *.jpeg *.gif *.tif *.tiff *.bmp *.webp)', qsTr('All files') + ' (*)']
        onAccepted: {
            var path = decodeURIComponent(pictureDialog.fileUrl.toString().replace(/^file:\/\//, ''));
            pictureField.text = path;
            filter.set('resource', path);
        }
    }

    GridLayout {
        anchors.fill: parent
        anchors.margins: 8
        columns: 3

        Shotcut.Preset {
            id: preset

            Layout.columnSpan: 3
            parameters: ['resource', 'start left', 'start top', 'start width', 'start height', 'end left', 'end top', 'end width', 'end height', 'start time', 'end time', 'border', 'border colour', 'opacity', 'turn', 'blend', 'smooth', 'easing', 'spin', 'motion blur']
            onPresetSelected: showSettings()
        }

        Label {
            text: qsTr('Picture')
            Layout.alignment: Qt.AlignRight
        }

        TextField {
            id: pictureField

            Layout.fillWidth: true
            onEditingFinished: filter.set('resource', text)
        }

        Button {
            text: qsTr('Open…')
            onClicked: pictureDialog.open()
        }

        Repeater {
            model: root.sliders

            delegate: RowLayout {
                Layout.columnSpan: 3

                Label {
                    text: modelData.label
                    Layout.preferredWidth: 110
                    horizontalAlignment: Text.AlignRight
                }

                Shotcut.SliderSpinner {
                    Layout.fillWidth: true
                    minimumValue: modelData.from
                    maximumValue: modelData.to
                    decimals: modelData.decimals
                    suffix: modelData.suffix
                    value: filter.getDouble(modelData.name) * modelData.factor
                    onValueChanged: filter.set(modelData.name, value / modelData.factor)
                }
            }
        }

        Label {
            text: qsTr('Border colour')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.ColorPicker {
            id: colourPicker

            Layout.columnSpan: 2
            onValueChanged: filter.set('border colour', value)
        }

        Label {
            text: qsTr('Blend')
            Layout.alignment: Qt.AlignRight
        }

        ComboBox {
            id: blendCombo

            Layout.columnSpan: 2
            model: root.blendNames
            onActivated: filter.set('blend', root.blends[currentIndex])
        }

        Label {
            text: qsTr('Easing')
            Layout.alignment: Qt.AlignRight
        }

        ComboBox {
            id: easingCombo

            Layout.columnSpan: 2
            model: root.easingNames
            onActivated: filter.set('easing', root.easings[currentIndex])
        }

        Label {
        }

        CheckBox {
            id: smoothBox

            Layout.columnSpan: 2
            text: qsTr('Smooth')
            onCheckedChanged: filter.set('smooth', checked ? 1 : 0)
        }

        Item {
            Layout.fillHeight: true
        }
    }
}
