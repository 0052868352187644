// storage.cpp — the stand-in engine's storage functions (filled in by its subsystem).
#include "engine.h"

namespace standin {

void RegisterStorageFunctions(Exporter &) {}

}  // namespace standin
