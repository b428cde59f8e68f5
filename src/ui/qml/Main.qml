import QtQuick
import QtQuick.Window

Window {
    width: 640; height: 480; visible: true
    title: "KLVO Tandor"
}
