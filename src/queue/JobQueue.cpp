#include "queue/JobQueue.h"

#include "app/AppModel.h"

JobQueue::JobQueue(QObject *parent)
    : QObject(parent)
{
}

void JobQueue::pump()
{
    // No job kinds exist yet, so nothing can start.
}

bool JobQueue::usesDeck(int) const
{
    return false;
}

void JobQueue::setApp(AppModel *app)
{
    m_app = app;
}
