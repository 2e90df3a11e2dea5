#pragma once
#include "platform/api/Process.h"
#include "platform/host/Text.h"
