#include "platform/win/guid.h"
