import QtQuick
import Tandor.Kit

// The window's body, top to bottom.
Gradient {
    GradientStop { position: 0; color: Chrome.palette.windowTop }
    GradientStop { position: 1; color: Chrome.palette.windowBottom }
}
