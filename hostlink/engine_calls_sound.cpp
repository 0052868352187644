// engine_calls_sound.cpp — the plug-in side of the engine's sound services:
// each forwards to the engine function found by its signature string.
#include "hostlink.h"

void TVPConvertPCMToFloat(float *dest, const void *src, const tTVPWaveFormat &format, tjs_int frames) {
  typedef void(TJS_ENGINE_CALL * Convert)(float *, const void *, const tTVPWaveFormat &, tjs_int);
  HostCall<Convert>(HostFn::TVPConvertPCMToFloat)(dest, src, format, frames);
}
