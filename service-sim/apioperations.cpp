#include "service-sim/apioperations.h"

namespace sim {

void RegisterApiOperations(ApiEndpoint&) {
  // FIXME: no operation is answered yet; each one registers its handler here as it arrives.
}

}  // namespace sim
