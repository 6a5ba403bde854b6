// The start and end rectangles on Shotcut's player. Each is dragged as one
// rectangle and kept as its four values of the filter (left, top, width,
// height), fractions of the frame.
import QtQuick 2.12
import Shotcut.Controls 1.0 as Shotcut

Shotcut.VuiBase {
    property real zoom: (video.zoom > 0) ? video.zoom : 1
    property bool showing: false

    // The rectangle `which` ('start' or 'end') in the profile's pixels.
    function rectOf(which) {
        return Qt.rect(filter.getDouble(which + ' left') * profile.width, filter.getDouble(which + ' top') * profile.height,
                       filter.getDouble(which + ' width') * profile.width, filter.getDouble(which + ' height') * profile.height);
    }

    function keep(which, control) {
        if (showing)
            return;
        var r = control.rectangle;
        filter.set(which + ' left', r.x / control.widthScale / profile.width);
        filter.set(which + ' top', r.y / control.heightScale / profile.height);
        filter.set(which + ' width', r.width / control.widthScale / profile.width);
        filter.set(which + ' height', r.height / control.heightScale / profile.height);
    }

    function show() {
        showing = true;
        startRectangle.setHandles(rectOf('start'));
        endRectangle.setHandles(rectOf('end'));
        showing = false;
    }

    Component.onCompleted: {
        application.showStatusMessage(qsTr('Drag the start rectangle (drawn first) and the end rectangle; hold Shift in one to move it'));
        show();
    }

    Flickable {
        anchors.fill: parent
        interactive: false
        clip: true
        contentWidth: video.rect.width * zoom
        contentHeight: video.rect.height * zoom
        contentX: video.offset.x
        contentY: video.offset.y

        Item {
            id: videoItem

            x: video.rect.x
            y: video.rect.y
            width: video.rect.width
            height: video.rect.height
            scale: zoom

            Shotcut.RectangleControl {
                id: startRectangle

                widthScale: video.rect.width / profile.width
                heightScale: video.rect.height / profile.height
                handleSize: Math.max(Math.round(8 / zoom), 4)
                borderSize: Math.max(Math.round(1.33 / zoom), 1)
                onWidthScaleChanged: show()
                onHeightScaleChanged: show()
                onRectChanged: keep('start', startRectangle)
            }

            Shotcut.RectangleControl {
                id: endRectangle

                widthScale: video.rect.width / profile.width
                heightScale: video.rect.height / profile.height
                handleSize: Math.max(Math.round(8 / zoom), 4)
                borderSize: Math.max(Math.round(1.33 / zoom), 1)
                onRectChanged: keep('end', endRectangle)
            }
        }
    }

    Connections {
        function onChanged() {
            show();
            videoItem.enabled = filter.get('disable') !== '1';
        }

        target: filter
    }
}
