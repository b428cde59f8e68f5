import QtQuick
import Tandor.Kit

// The shine on the upper half of a cap; put it on an item covering the top half.
Gradient {
    GradientStop { position: 0; color: Qt.rgba(1, 1, 1, Chrome.palette.glossTop) }
    GradientStop { position: 1; color: Qt.rgba(1, 1, 1, 0.05) }
}
