#include "platform/win/process.h"
