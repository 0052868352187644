// delay_class.h — WaveDelay: the delay effect as the script class
// `DelayEffect` (a wave filter over EffectDelay), with its factory and the
// method `init`.
#pragma once

#include "binder/bind_util_fwd.h"
#include "effects/delay.h"
#include "wavefilter/simple_wave_filter.h"

class WaveDelay : public SimpleWaveFilter<EffectDelay> {
 public:
  // Declares the class `DelayEffect` and its members, in order, on `bind`
  // (the effect table's hook; the link step owns the binder).
  static void Declare(SimpleBinder::BindUtil &bind);

  // The class's factory: a delay with the defaults; any arguments go to
  // `init` as a script call without result would pass them. Engine
  // exceptions from the conversions pass on, and nothing is made then.
  static tjs_error Factory(WaveDelay *&out, tjs_int numparams, tTJSVariant **params);

  // init(delay ms, feedback, wet level [, tail ms]). With three or more
  // arguments: the third and second converted as reals, then the first as
  // an integer, and only then all three stored (a failing conversion changes
  // nothing); with four, the fourth as an integer sets the tail length, read
  // at the next attach. Fewer than three change nothing. The result, when
  // given, is cleared. Always 0.
  tjs_error init(tTJSVariant *result, tjs_int numparams, tTJSVariant **params);
};
