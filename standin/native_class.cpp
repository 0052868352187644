// native_class.cpp — the stand-in engine's native class functions (filled in by its subsystem).
#include "engine.h"

namespace standin {

void RegisterNativeClassFunctions(Exporter &) {}

}  // namespace standin
