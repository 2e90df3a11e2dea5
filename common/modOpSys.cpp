#include "modOpSys.h"

#include "clsOpSys.h"

namespace modOpSys {

bool IsVistaOrLater() { return clsOpSys().IsVista(); }

}  // namespace modOpSys
