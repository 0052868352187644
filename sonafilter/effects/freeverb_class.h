// freeverb_class.h — StkFreeVerb: the STK reverb as the script class
// `StkFreeVerb` (a wave filter over EffectFreeVerb), with its factory and six
// read/write properties.
//
//   effectMix  real     the mix as assigned (STK uses it limited to 0..1)
//   roomSize   real     STK's room size
//   damping    real     STK's damping
//   width      real     STK's stereo width
//   mode       integer  1 frozen, 0 normal; written as a truth value
//   extend     integer  tail length in ms (low 32 bits, read back
//                       non-negative); read at the next attach
#pragma once

#include "binder/bind_util_fwd.h"
#include "effects/freeverb.h"
#include "wavefilter/simple_wave_filter.h"

class StkFreeVerb : public SimpleWaveFilter<EffectFreeVerb> {
 public:
  // Declares the class `StkFreeVerb` and its members, in order, on `bind`
  // (the effect table's hook; the link step owns the binder).
  static void Declare(SimpleBinder::BindUtil &bind);

  // The class's factory: up to six arguments, in the order effect mix, room
  // size, damping, width, mode, tail length, each applied as the matching
  // property write; further arguments are ignored.
  static tjs_error Factory(StkFreeVerb *&out, tjs_int numparams, tTJSVariant **params);

  // Getters store the value in `result` (a null result is left alone);
  // setters convert the value and apply it at once. All return 0.
  tjs_error getEffectMix(tTJSVariant *result);
  tjs_error setEffectMix(const tTJSVariant *value);
  tjs_error getRoomSize(tTJSVariant *result);
  tjs_error setRoomSize(const tTJSVariant *value);
  tjs_error getDamping(tTJSVariant *result);
  tjs_error setDamping(const tTJSVariant *value);
  tjs_error getWidth(tTJSVariant *result);
  tjs_error setWidth(const tTJSVariant *value);
  tjs_error getMode(tTJSVariant *result);
  tjs_error setMode(const tTJSVariant *value);
  tjs_error getExtend(tTJSVariant *result);
  tjs_error setExtend(const tTJSVariant *value);
};
