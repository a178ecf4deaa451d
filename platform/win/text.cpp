#include "platform/win/text.h"
