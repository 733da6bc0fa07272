// The fast index build: placeholder until the format-level scan lands.
#include "orvane/driver/RawFileReader.h"

namespace orvane {

bool RawFileReader::fastIndexScan(BookmarkRule&)
{
    return false;
}

}  // namespace orvane
