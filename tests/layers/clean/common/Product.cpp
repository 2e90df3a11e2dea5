#include "common/Product.h"
#include "platform/api/Process.h"
// #include "platform/host/Text.h" is text of a comment
