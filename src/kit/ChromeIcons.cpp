#include "ChromeIcons.h"

#include <QHash>
#include <QStandardPaths>

namespace ChromeIcons {

const QList<Entry> &all()
{
    static const QList<Entry> entries = {
        // Burning and discs
        {"flame.fill", "local_fire_department", 0xef55},
        {"flame", "whatshot", 0xe80e},
        {"opticaldisc", "album", 0xe019},
        {"opticaldiscdrive.fill", "album", 0xe019},
        {"eraser", "backspace", 0xe14a},
        {"eraser.fill", "backspace", 0xe14a},
        {"eject", "eject", 0xe8fb},
        {"eject.fill", "eject", 0xe8fb},
        {"square.stack.3d.up.fill", "layers", 0xe53b},
        // Images, files and folders
        {"folder.badge.plus", "create_new_folder", 0xe2cc},
        {"folder", "folder", 0xe2c7},
        {"doc", "insert_drive_file", 0xe24d},
        {"doc.text", "description", 0xe873},
        {"folder.fill", "folder", 0xe2c7},
        {"externaldrive.fill", "storage", 0xe1db},
        {"externaldrive.fill.badge.plus", "library_add", 0xe02e},
        {"cable.connector", "cable", 0xefe6},
        // Checks
        {"number", "tag", 0xe9ef},
        {"number.square.fill", "pin", 0xf045},
        {"checkmark.shield", "verified_user", 0xe8e8},
        {"checkmark.shield.fill", "verified_user", 0xe8e8},
        {"checkmark.seal.fill", "verified", 0xef76},
        {"xmark.octagon.fill", "dangerous", 0xe99a},
        {"checkmark", "check", 0xe5ca},
        {"checkmark.circle.fill", "check_circle", 0xe86c},
        {"circle.dashed", "radio_button_unchecked", 0xe836},
        {"exclamationmark.triangle.fill", "warning", 0xe002},
        // Lists and the queue
        {"list.number", "format_list_numbered", 0xe242},
        {"list.bullet.rectangle", "list_alt", 0xe0ee},
        {"arrow.up", "arrow_upward", 0xe5d8},
        {"arrow.down", "arrow_downward", 0xe5db},
        {"chevron.up", "keyboard_arrow_up", 0xe316},
        {"chevron.down", "keyboard_arrow_down", 0xe313},
        {"stop.circle", "stop_circle", 0xef71},
        {"stop.fill", "stop", 0xe047},
        {"xmark.circle", "highlight_off", 0xe888},
        {"xmark", "close", 0xe5cd},
        {"plus", "add", 0xe145},
        {"trash", "delete", 0xe872},
        {"hourglass", "hourglass_empty", 0xe88b},
        // The window
        {"questionmark.circle", "help_outline", 0xe8fd},
        {"arrow.clockwise", "refresh", 0xe5d5},
        {"paintpalette", "palette", 0xe40a},
        {"paintpalette.fill", "palette", 0xe40a},
        {"gearshape", "settings", 0xe8b8},
        {"play.fill", "play_arrow", 0xe037},
        {"minus", "remove", 0xe15b},
        {"clock", "schedule", 0xe8b5},
        {"speaker.wave.2", "volume_up", 0xe050},
        {"magnifyingglass", "search", 0xe8b6},
        {"info.circle", "info_outline", 0xe88f},
        {"lock.fill", "lock", 0xe897},
        {"doc.on.doc", "content_copy", 0xe14d},
        {"square.and.arrow.down", "save_alt", 0xe171},
        {"music.note", "music_note", 0xe405},
        {"music.note.list", "queue_music", 0xe03d},
        {"waveform", "graphic_eq", 0xe1b8},
        {"speedometer", "speed", 0xe9e4},
        {"link", "link", 0xe157},
    };
    return entries;
}

QString glyph(const QString &symbol)
{
    static const QHash<QString, char16_t> bySymbol = [] {
        QHash<QString, char16_t> out;
        for (const Entry &e : all())
            out.insert(QString::fromLatin1(e.symbol), e.codepoint);
        return out;
    }();
    const auto it = bySymbol.constFind(symbol);
    return it == bySymbol.cend() ? QString() : QString(QChar(*it));
}

QString fontPath()
{
    static const QString path = QStandardPaths::locate(
        QStandardPaths::GenericDataLocation,
        QStringLiteral("fonts/truetype/material-design-icons-iconfont/MaterialIcons-Regular.ttf"));
    return path;
}

} // namespace ChromeIcons
