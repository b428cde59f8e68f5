import QtQuick
import Tandor.Kit

// Polished rims around wells, knobs and lamps.
Gradient {
    GradientStop { position: 0; color: Chrome.palette.chromeLight }
    GradientStop { position: 0.45; color: Chrome.palette.chromeMid }
    GradientStop { position: 0.55; color: Chrome.palette.chromeDark }
    GradientStop { position: 1; color: Chrome.palette.chromeMid }
}
