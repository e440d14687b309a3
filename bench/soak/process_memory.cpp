#include "process_memory.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace soak {

ProcessMemory memoryOf(qint64 pid) {
    ProcessMemory m;
#ifdef Q_OS_LINUX
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return m;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            m.rssKb = line.mid(6).trimmed().split(' ').value(0).toLong();
        else if (line.startsWith("VmHWM:"))
            m.hwmKb = line.mid(6).trimmed().split(' ').value(0).toLong();
    }
#else
    Q_UNUSED(pid);
#endif
    return m;
}

} // namespace soak
