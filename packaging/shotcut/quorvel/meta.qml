// Quorvel (moving) in Shotcut's video filters: the frei0r filter quorvel.
import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    objectName: 'quorvel'
    name: qsTr('Quorvel (moving picture)')
    keywords: qsTr('picture image logo overlay glide move picture-in-picture', 'search keywords for the Quorvel video filter') + ' quorvel'
    mlt_service: 'frei0r.quorvel'
    qml: 'ui.qml'
    vui: 'vui.qml'
}
