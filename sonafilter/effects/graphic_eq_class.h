// graphic_eq_class.h — GraphicEqualizer: the ten-band equalizer as the
// script class `GraphicEqualizer` (a wave filter over EffectGEQ), with its
// factory and the methods `getGain` and `setGain`.
#pragma once

#include "binder/bind_util_fwd.h"
#include "effects/graphic_eq.h"
#include "wavefilter/simple_wave_filter.h"

class GraphicEqualizer : public SimpleWaveFilter<EffectGEQ> {
 public:
  // Declares the class `GraphicEqualizer` and its members, in order, on `bind`
  // (the effect table's hook; the link step owns the binder).
  static void Declare(SimpleBinder::BindUtil &bind);

  // The class's factory: any number of arguments, the band gains from band 0
  // up. Each is converted as a real in order; the first ten are stored, the
  // rest only converted. Gains are heard from the next attach on.
  static tjs_error Factory(GraphicEqualizer *&out, tjs_int numparams, tTJSVariant **params);

  // getGain(index): the band's stored gain as a real, 0.0 for an index
  // outside 0..9. Always 0.
  tjs_error getGain(tTJSVariant *result, tTJSVariant *index);
  // setGain(index, gain): the gain converted as a real first, then the index
  // as an integer; an index outside 0..9 is ignored. The gain is stored and
  // heard from the next attach on. The result, when given, is cleared.
  // Always 0.
  tjs_error setGain(tTJSVariant *result, tTJSVariant *index, tTJSVariant *gain);
};
