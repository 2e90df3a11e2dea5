#include "platform/api/Call.h"
#include "platform/host/Text.h"
#include "../tools/WindowsTools.h"
