#pragma once
// The operations that the API 3.0 endpoint answers.
#include "service-sim/apiendpoint.h"

namespace sim {

void RegisterApiOperations(ApiEndpoint& endpoint);

}  // namespace sim
