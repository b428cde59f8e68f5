#include "help/SavedFrame.h"

SavedFrame::SavedFrame(QObject *parent)
    : QObject(parent)
{
}

void SavedFrame::setName(const QString &name)
{
    if (name == m_name)
        return;
    m_name = name;
    Q_EMIT nameChanged();
}

QRect SavedFrame::load() const
{
    if (m_name.isEmpty())
        return {};
    const QRect frame = m_settings.value(key()).toRect();
    if (frame.width() < 100 || frame.height() < 100)
        return {};
    return frame;
}

void SavedFrame::save(const QRectF &frame)
{
    const QRect whole = frame.toRect();
    if (m_name.isEmpty() || !whole.isValid())
        return;
    m_settings.setValue(key(), whole);
}
