#include "orvane/driver/Version.h"

namespace orvane {

const char* driverVersion()
{
    return "0.1.0";
}

}  // namespace orvane
