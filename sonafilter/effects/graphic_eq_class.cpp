// graphic_eq_class.cpp — the script side of the graphic equalizer.
#include "effects/graphic_eq_class.h"

#include <memory>

#include "binder/simple_binder.h"
#include "effects/finite_samples.h"

// The members in the order scripts enumerate them; `interface` is the
// filter base's getter, bound for this class explicitly.
void GraphicEqualizer::Declare(SimpleBinder::BindUtil &bind) {
  bind.Class(ttstr(u"GraphicEqualizer"), &GraphicEqualizer::Factory)
      .Property<GraphicEqualizer>(ttstr(u"interface"), &tTVPBasicWaveFilter::GetInterface, nullptr)
      .Function(ttstr(u"getGain"), &GraphicEqualizer::getGain)
      .Function(ttstr(u"setGain"), &GraphicEqualizer::setGain);
}

tjs_error GraphicEqualizer::Factory(GraphicEqualizer *&out, tjs_int numparams, tTJSVariant **params) {
  std::unique_ptr<GraphicEqualizer> made(new GraphicEqualizer());
  for (tjs_int band = 0; band < numparams; ++band) {
    const tTVReal gain = params[band]->AsReal();
    if (band < EffectGEQ::kBandCount) made->effect.SetGain(band, finite_samples::Parameter(gain));
  }
  out = made.release();
  return TJS_S_OK;
}

tjs_error GraphicEqualizer::getGain(tTJSVariant *result, tTJSVariant *index) {
  const float gain = effect.Gain(static_cast<tjs_int>(*index));
  if (result) *result = static_cast<tjs_real>(gain);
  return TJS_S_OK;
}

tjs_error GraphicEqualizer::setGain(tTJSVariant *result, tTJSVariant *index, tTJSVariant *gain) {
  const tTVReal value = gain->AsReal();
  effect.SetGain(static_cast<tjs_int>(*index), finite_samples::Parameter(value));
  if (result) result->Clear();
  return TJS_S_OK;
}
