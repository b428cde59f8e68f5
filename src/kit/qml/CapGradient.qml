import QtQuick
import Tandor.Kit

// Raised caps: buttons, fader caps, the selected segment.
Gradient {
    GradientStop { position: 0; color: Chrome.palette.capTop }
    GradientStop { position: 0.48; color: Chrome.palette.base }
    GradientStop { position: 1; color: Chrome.palette.capBottom }
}
