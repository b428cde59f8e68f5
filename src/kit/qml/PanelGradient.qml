import QtQuick
import Tandor.Kit

// Cards and panels, top to bottom.
Gradient {
    GradientStop { position: 0; color: Chrome.palette.panelTop }
    GradientStop { position: 1; color: Chrome.palette.panelBottom }
}
