#include "platform/PortNames.h"

std::string DefaultPortDevice(int number)
{
    if (number >= 1 && number <= 10) {
        return "/dev/ttyUSB" + std::to_string(number - 1);
    }
    if (number >= 11 && number <= 20) {
        return "/dev/ttyACM" + std::to_string(number - 11);
    }
    if (number >= 21 && number <= 50) {
        return "/dev/ttyS" + std::to_string(number - 21);
    }
    return {};
}
