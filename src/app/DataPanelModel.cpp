#include "app/DataPanelModel.h"

#include "app/AppModel.h"

DataPanelModel::DataPanelModel(QObject *parent)
    : QObject(parent)
{
}

void DataPanelModel::setImage(const QString &path)
{
    if (path == m_imagePath)
        return;
    m_imagePath = path;
    Q_EMIT imagePathChanged();
}

void DataPanelModel::unmountAll()
{
    // Nothing can be mounted yet.
}

void DataPanelModel::setApp(AppModel *app)
{
    m_app = app;
}
