#pragma once

#include <fstream>
#include <string>

// The resident set size of this process now (VmRSS), in MiB; 0 where /proc does not tell.
inline double residentMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}
