#include "gui/DirectoryCalls.h"

#include "ad/ExtendSchema.h"
#include "ad/FindSchemaMaster.h"

namespace GUI {

const DirectoryCalls RealDirectory = {&AD::FindSchemaMaster, &AD::ExtendSchema};

DirectoryCalls Directory = RealDirectory;

}  // namespace GUI
