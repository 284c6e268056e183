#include "effects/ui/ParamControlBinder.h"

#include "WorkSpace.h"

// The binder of the pages and dialogs, compiled once here so that it always builds against the
// workspace itself and not only against the stand-ins tests give it.
template class effects::ui::CParamControlBinder<CWorkSpace>;
