#pragma once
#include <platform/host/QtPlatform.h>
