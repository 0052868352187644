// sound.cpp — the stand-in engine's sound functions (filled in by its subsystem).
#include "engine.h"

namespace standin {

void RegisterSoundFunctions(Exporter &) {}

}  // namespace standin
