#include "platform/win/module.h"
