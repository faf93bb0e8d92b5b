// What a running process holds, read from /proc: resident memory, open
// descriptors and time on the CPU. Shared by the station benchmarks.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

struct ProcessUsage {
    long rssKiB = 0;
    int openFds = 0;
    double cpuSeconds = 0;
};

inline double CpuSecondsOf(qint64 pid) {
    // Nanoseconds on the CPU, finer than the clock ticks of stat.
    QFile schedstat(QStringLiteral("/proc/%1/schedstat").arg(pid));
    return schedstat.open(QIODevice::ReadOnly)
               ? schedstat.readAll().split(' ').first().toDouble() / 1e9
               : 0;
}

inline ProcessUsage UsageOf(qint64 pid) {
    ProcessUsage usage;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                usage.rssKiB = line.mid(6).trimmed().split(' ').first().toLong();
    usage.openFds = static_cast<int>(
        QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::System).size());
    usage.cpuSeconds = CpuSecondsOf(pid);
    return usage;
}
