#include "app/MountModel.h"

#include "base/OffMain.h"
#include "base/TDError.h"
#include "platform/linux/FileManager.h"

#include <QFile>
#include <QPointer>

namespace {

// What a worker hands back: the value, or the error's text and the tool's
// own words behind it.
template<typename T>
struct Result
{
    std::optional<T> value;
    QString error;
    QString toolWords;
};

template<typename Fn>
auto attempt(Fn fn) -> Result<decltype(fn())>
{
    try {
        return {fn(), {}, {}};
    } catch (const TDError &e) {
        return {std::nullopt, e.text(), e.detail()};
    }
}

} // namespace

MountModel::MountModel(LogFn log, QObject *parent)
    : QObject(parent)
    , m_log(std::move(log))
    , m_openFolder(&FileManager::openFolder)
{
}

QVariantList MountModel::mountedList() const
{
    QVariantList out;
    for (const MountedImage &m : m_mounted)
        out.append(QVariantMap{{QStringLiteral("image"), m.image},
                               {QStringLiteral("name"), fileNameOf(m.image)},
                               {QStringLiteral("device"), m.device},
                               {QStringLiteral("mountPoints"), m.mountPoints}});
    return out;
}

void MountModel::mount(const QString &image, bool browse)
{
    if (image.isEmpty())
        return;
    offMain(
        this, [image, browse] { return attempt([&] { return Mounter::attach(image, browse, true); }); },
        [this, image, browse](const Result<MountedImage> &result) {
            if (!result.value) {
                m_log(QStringLiteral("Couldn't mount ") + fileNameOf(image) + QStringLiteral(": ") + result.error,
                      result.toolWords);
                return;
            }
            const MountedImage &mounted = *result.value;
            m_mounted.append(mounted);
            Q_EMIT mountedChanged();
            m_log(QStringLiteral("Mounted ") + fileNameOf(image) + QStringLiteral(" at ")
                      + mounted.mountPoints.join(QStringLiteral(", ")) + QStringLiteral(" (read-only)."),
                  {});
            if (browse)
                this->browse(mounted);
        });
}

void MountModel::unmount(int index)
{
    if (index < 0 || index >= m_mounted.size())
        return;
    const MountedImage image = m_mounted.at(index);
    offMain(
        this,
        [image] {
            return attempt([&] {
                Mounter::detach(image, false);
                return true;
            });
        },
        [this, image](const Result<bool> &result) {
            if (!result.value) {
                m_log(QStringLiteral("Couldn't eject ") + fileNameOf(image.image) + QStringLiteral(": ") + result.error,
                      result.toolWords);
                return;
            }
            const qsizetype before = m_mounted.size();
            m_mounted.removeIf([&](const MountedImage &m) { return m.device == image.device; });
            if (m_mounted.size() != before)
                Q_EMIT mountedChanged();
            m_log(QStringLiteral("Ejected ") + fileNameOf(image.image) + QStringLiteral("."), {});
        });
}

void MountModel::show(int index)
{
    if (index >= 0 && index < m_mounted.size())
        browse(m_mounted.at(index));
}

void MountModel::browse(const MountedImage &image)
{
    if (image.mountPoints.isEmpty() || !m_openFolder)
        return;
    const QString folder = image.mountPoints.first();
    m_openFolder(folder, [self = QPointer<MountModel>(this), name = fileNameOf(image.image), folder](const QString &words) {
        if (self)
            self->m_log(QStringLiteral("Couldn't show ") + name + QStringLiteral(": no file manager opened ") + folder
                            + QStringLiteral(". Open that folder in one by hand."),
                        words);
    });
}

void MountModel::unmountAll()
{
    for (const MountedImage &image : std::as_const(m_mounted)) {
        try {
            Mounter::detach(image, false);
        } catch (const TDError &) {
            // Quitting: nothing more can be done about the mount, but a
            // DMG's decoded copy goes (a mount still using it keeps it
            // until it is released).
            if (!image.decodedCopy.isEmpty())
                QFile::remove(image.decodedCopy);
        }
    }
    if (!m_mounted.isEmpty()) {
        m_mounted.clear();
        Q_EMIT mountedChanged();
    }
}
