#pragma once

#include <sys/resource.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <stdexcept>
#include <string>

#include "tests/support/ProcessCounts.h"
#include "tests/support/PseudoTerminal.h"

// Helpers shared by the measuring tools: clocks, memory, the port map.

inline double Seconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

inline double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

inline double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Writes Config.ini into `directory` so that COM1 is the pseudo-terminal's slave side.
inline void MapCom1(const QString& directory, const std::string& device, const char* extraSettings = "")
{
    QFile config(QDir(directory).filePath(QStringLiteral("Config.ini")));
    if (!config.open(QIODevice::WriteOnly)) {
        throw std::runtime_error("cannot write Config.ini");
    }
    config.write(QByteArray("[Setting]\r\nPort=0\r\n") + extraSettings + "[Ports]\r\nCOM1=" +
                 QByteArray::fromStdString(device) + "\r\n");
}
