// delay_class.cpp — the script side of the delay effect.
#include "effects/delay_class.h"

#include <memory>

#include "binder/simple_binder.h"
#include "effects/finite_samples.h"

// The members in the order scripts enumerate them; `interface` is the
// filter base's getter, bound for this class explicitly.
void WaveDelay::Declare(SimpleBinder::BindUtil &bind) {
  bind.Class(ttstr(u"DelayEffect"), &WaveDelay::Factory)
      .Property<WaveDelay>(ttstr(u"interface"), &tTVPBasicWaveFilter::GetInterface, nullptr)
      .Function(ttstr(u"init"), &WaveDelay::init);
}

tjs_error WaveDelay::Factory(WaveDelay *&out, tjs_int numparams, tTJSVariant **params) {
  std::unique_ptr<WaveDelay> made(new WaveDelay());
  if (numparams > 0) made->init(nullptr, numparams, params);
  out = made.release();
  return TJS_S_OK;
}

// Delay and tail keep the low 32 bits of the script integer; levels beyond
// the float range become the largest float of their sign.
tjs_error WaveDelay::init(tTJSVariant *result, tjs_int numparams, tTJSVariant **params) {
  if (numparams > 2) {
    const tTVReal wetLevel = params[2]->AsReal();
    const tTVReal feedback = params[1]->AsReal();
    const tTVInteger delayMs = params[0]->AsInteger();
    effect.Init(static_cast<tjs_int32>(static_cast<tjs_uint32>(delayMs)), finite_samples::Parameter(feedback),
                finite_samples::Parameter(wetLevel));
  }
  if (numparams > 3) effect.SetExtend(static_cast<tjs_uint32>(params[3]->AsInteger()));
  if (result) result->Clear();
  return TJS_S_OK;
}
