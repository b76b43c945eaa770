#include "platform/PortNames.h"

std::string DefaultPortDevice(int number) { return number >= 1 ? "\\\\.\\COM" + std::to_string(number) : std::string(); }
