#include "platform/win/registry.h"
