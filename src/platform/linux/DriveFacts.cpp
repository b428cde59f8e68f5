#include "platform/linux/DriveFacts.h"

#include "platform/api/DiscService.h"

#include <QDir>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>

namespace DriveFacts {

QString busName(const QString &idBus, bool sataLink)
{
    const QString bus = idBus.trimmed().toLower();
    if (bus.isEmpty())
        return {};
    if (bus == QLatin1String("ata"))
        return sataLink ? QStringLiteral("SATA") : QStringLiteral("ATAPI");
    if (bus == QLatin1String("ieee1394"))
        return QStringLiteral("FireWire");
    return bus.toUpper();
}

QString driveName(const QString &vendor, const QString &model)
{
    QString name = vendor + QLatin1Char(' ') + model;
    name.replace(QLatin1Char('_'), QLatin1Char(' '));
    return name.simplified();
}

QString rawMediaType(int profile)
{
    switch (profile) {
    case 0x00: return {};
    case 0x08: return QStringLiteral("CDROM");
    case 0x09: return QStringLiteral("CDR");
    case 0x0a: return QStringLiteral("CDRW");
    case 0x10: return QStringLiteral("DVDROM");
    case 0x11: return QStringLiteral("DVDR");
    case 0x12: return QStringLiteral("DVDRAM");
    case 0x13: // restricted overwrite
    case 0x14: return QStringLiteral("DVDRW"); // sequential recording
    case 0x15:
    case 0x16: return QStringLiteral("DVDRDualLayer");
    case 0x1a: return QStringLiteral("DVDPlusRW");
    case 0x1b: return QStringLiteral("DVDPlusR");
    case 0x2a: return QStringLiteral("DVDPlusRWDoubleLayer");
    case 0x2b: return QStringLiteral("DVDPlusRDoubleLayer");
    case 0x40: return QStringLiteral("BDROM");
    case 0x41:
    case 0x42: return QStringLiteral("BDR");
    case 0x43: return QStringLiteral("BDRE");
    case stdioProfile: return imageFileType;
    default: return QStringLiteral("Unknown");
    }
}

bool isCdProfile(int profile)
{
    return profile == 0x08 || profile == 0x09 || profile == 0x0a;
}

QMap<QString, bool> writeCaps(const WriteFacts &f)
{
    const auto has = [&f](int profile) { return f.profiles.contains(profile); };
    const bool cdr = f.writeCdr || has(0x09);
    const bool cdrw = f.writeCdrw || has(0x0a);
    const bool cd = cdr || cdrw;
    const bool dvdr = f.writeDvdr || has(0x11);
    const bool dvdrw = has(0x13) || has(0x14);
    const bool dvdrDl = has(0x15) || has(0x16);
    const bool dvdram = f.writeDvdram || has(0x12);
    const bool dvdPlusR = has(0x1b);
    const bool dvdPlusRW = has(0x1a);
    const bool dvdPlusRDl = has(0x2b);
    const bool dvd = dvdr || dvdrw || dvdrDl || dvdram || dvdPlusR || dvdPlusRW || dvdPlusRDl;
    const bool sao = cd && f.saoBlocks;

    return {
        {DRCaps::canWriteCD, cd},
        {DRCaps::canWriteCDR, cdr},
        {DRCaps::canWriteCDRW, cdrw},
        {DRCaps::canWriteCDSAO, sao},
        {DRCaps::canWriteCDTAO, cd && f.taoBlocks},
        {DRCaps::canWriteCDText, sao},
        {DRCaps::canTestWriteCD, cd && f.simulate},
        {DRCaps::canTestWriteDVD, f.simulate && (dvdr || dvdrw || dvdrDl)},
        {DRCaps::canUnderrunProtectCD, cd && f.underrunProof},
        {DRCaps::canUnderrunProtectDVD, dvd && f.underrunProof},
        {DRCaps::canWriteDVDR, dvdr},
        {DRCaps::canWriteDVDRW, dvdrw},
        {DRCaps::canWriteDVDRAM, dvdram},
        {DRCaps::canWriteDVDPlusR, dvdPlusR},
        {DRCaps::canWriteDVDPlusRW, dvdPlusRW},
        {DRCaps::canWriteDVDPlusRDoubleLayer, dvdPlusRDl},
        {DRCaps::canWriteDVDRDualLayer, dvdrDl},
        {DRCaps::canWriteBDR, has(0x41) || has(0x42)},
        {DRCaps::canWriteBDRE, has(0x43)},
    };
}

UdevMedium udevMedium(const QMap<QString, QString> &properties)
{
    QStringList parts;
    for (auto it = properties.begin(); it != properties.end(); ++it) {
        if (it.key().startsWith(QLatin1String("ID_CDROM_MEDIA")) || it.key().startsWith(QLatin1String("ID_FS_")))
            parts.append(it.key() + QLatin1Char('=') + it.value());
    }
    return {parts.join(QLatin1Char('\n')), properties.value(QStringLiteral("ID_CDROM_MEDIA")) == QLatin1String("1")};
}

UdevPlan planUdevEvent(const QString &action, const QMap<QString, QString> &properties, bool known,
                       const UdevMedium &before)
{
    const auto is = [&properties](const char *name) {
        return properties.value(QLatin1String(name)) == QLatin1String("1");
    };
    UdevPlan plan;
    if (action == QLatin1String("remove")) {
        plan.remove = known;
        return plan;
    }
    if (!known) {
        // A "change" can be the first news of a drive whose "add" came
        // before udev had finished describing it.
        plan.add = is("ID_CDROM") && (action == QLatin1String("add") || action == QLatin1String("change"));
        return plan;
    }
    if (action != QLatin1String("change"))
        return plan;
    const UdevMedium now = udevMedium(properties);
    plan.reread = is("DISK_MEDIA_CHANGE") || is("DISK_EJECT_REQUEST") || now.fingerprint != before.fingerprint;
    plan.systemReadChanged = now.systemHasDisc != before.systemHasDisc;
    return plan;
}

} // namespace DriveFacts

namespace DriveFacts {

std::optional<QStringList> cueSheetFiles(const QString &text)
{
    QStringList files;
    bool audio = false, data = false;
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("[\r\n]+")));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        const QString keyword = line.section(QLatin1Char(' '), 0, 0).toUpper();
        if (keyword == QLatin1String("FILE")) {
            QString rest = line.mid(4).trimmed();
            QString name;
            if (rest.startsWith(QLatin1Char('"'))) {
                const qsizetype close = rest.indexOf(QLatin1Char('"'), 1);
                if (close < 0)
                    return std::nullopt;
                name = rest.mid(1, close - 1);
                rest = rest.mid(close + 1).trimmed();
            } else {
                name = rest.section(QLatin1Char(' '), 0, 0);
                rest = rest.section(QLatin1Char(' '), 1).trimmed();
            }
            const QString type = rest.toUpper();
            if (name.isEmpty()
                || (type != QLatin1String("BINARY") && type != QLatin1String("MOTOROLA") && type != QLatin1String("WAVE")))
                return std::nullopt;
            files.append(name);
        } else if (keyword == QLatin1String("TRACK")) {
            const QString type = line.section(QLatin1Char(' '), 2, 2, QString::SectionSkipEmpty).toUpper();
            if (files.isEmpty())
                return std::nullopt;
            if (type == QLatin1String("AUDIO"))
                audio = true;
            else if (type == QLatin1String("MODE1/2048"))
                data = true;
            else
                return std::nullopt;
        }
    }
    if ((!audio && !data) || (audio && data))
        return std::nullopt;
    return files;
}

QString cueSheetWithFilesIn(const QString &text, const QString &folder)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    const QDir dir(folder);
    for (QString &line : lines) {
        const QString trimmed = line.trimmed();
        if (trimmed.section(QLatin1Char(' '), 0, 0).toUpper() != QLatin1String("FILE"))
            continue;
        QString rest = trimmed.mid(4).trimmed();
        QString name;
        if (rest.startsWith(QLatin1Char('"'))) {
            const qsizetype close = rest.indexOf(QLatin1Char('"'), 1);
            if (close < 0)
                continue;
            name = rest.mid(1, close - 1);
            rest = rest.mid(close + 1).trimmed();
        } else {
            name = rest.section(QLatin1Char(' '), 0, 0);
            rest = rest.section(QLatin1Char(' '), 1).trimmed();
        }
        line = QStringLiteral("FILE \"%1\" %2").arg(QDir::cleanPath(dir.absoluteFilePath(name)), rest);
    }
    return lines.join(QLatin1Char('\n'));
}

int cdTextLanguage(const QString &code)
{
    static const QMap<QString, int> codes = {
        {QStringLiteral("ca"), 0x03}, {QStringLiteral("cs"), 0x06}, {QStringLiteral("da"), 0x07},
        {QStringLiteral("de"), 0x08}, {QStringLiteral("en"), 0x09}, {QStringLiteral("es"), 0x0a},
        {QStringLiteral("fr"), 0x0f}, {QStringLiteral("ga"), 0x11}, {QStringLiteral("is"), 0x14},
        {QStringLiteral("it"), 0x15}, {QStringLiteral("hu"), 0x1b}, {QStringLiteral("nl"), 0x1d},
        {QStringLiteral("no"), 0x1e}, {QStringLiteral("pl"), 0x20}, {QStringLiteral("pt"), 0x21},
        {QStringLiteral("ro"), 0x22}, {QStringLiteral("sk"), 0x25}, {QStringLiteral("sl"), 0x26},
        {QStringLiteral("fi"), 0x27}, {QStringLiteral("sv"), 0x28}, {QStringLiteral("tr"), 0x29},
        {QStringLiteral("ru"), 0x56}, {QStringLiteral("ja"), 0x69}, {QStringLiteral("el"), 0x70},
    };
    return codes.value(code.trimmed().toLower().left(2), 0x09);
}

double writePercent(const QList<qint64> &trackBlocks, int track, qint64 sector)
{
    qint64 total = 0, done = 0;
    for (int i = 0; i < trackBlocks.size(); ++i) {
        total += trackBlocks[i];
        if (i < track)
            done += trackBlocks[i];
        else if (i == track)
            done += std::clamp<qint64>(sector, 0, trackBlocks[i]);
    }
    if (total <= 0)
        return -1;
    return double(done) / double(total);
}

} // namespace DriveFacts
