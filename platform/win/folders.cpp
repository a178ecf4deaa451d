#include "platform/win/folders.h"
