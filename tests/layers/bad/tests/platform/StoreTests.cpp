#include "platform/host/Text.h"
#include "platform/tools/RegTool.h"
