// The tools of a single-sensor event camera. Kept apart from the bring-up so the tool classes'
// header is compiled in one place.
#include "DvsEventCamera.h"

namespace orvane {

void DvsEventCamera::createTools()
{
    // The HAL's tool classes are not in the tree yet; the camera has no tools until they are.
}

}  // namespace orvane
