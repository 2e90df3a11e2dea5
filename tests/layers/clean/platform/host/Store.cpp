#include "platform/host/Text.h"
