#include "platform/host/Text.h"
#include "platform/api/ProfileIni.h"
#include "platform/tools/RegTool.h"
