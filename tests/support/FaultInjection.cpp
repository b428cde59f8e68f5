#include "FaultInjection.h"

#include <QFile>

extern "C" {
void tandor_fault_arm(int kind, const char *path, long long after, int times);
void tandor_fault_disarm();
int tandor_fault_strikes();
}

namespace Fault {

void arm(const Rule &rule)
{
    tandor_fault_arm(int(rule.kind), QFile::encodeName(rule.path).constData(), rule.after, rule.times);
}

void disarm() { tandor_fault_disarm(); }

int strikes() { return tandor_fault_strikes(); }

QByteArray preloadModule()
{
#ifdef TANDOR_FAULT_PRELOAD
    return QByteArrayLiteral(TANDOR_FAULT_PRELOAD);
#else
    return {};
#endif
}

QByteArray childRule(const Rule &rule)
{
    return QByteArray::number(int(rule.kind)) + ':' + QByteArray::number(rule.after) + ':'
           + QByteArray::number(rule.times) + ':' + QFile::encodeName(rule.path);
}

} // namespace Fault
