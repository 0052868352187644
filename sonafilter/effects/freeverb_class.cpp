// freeverb_class.cpp — the script side of the reverb.
#include "effects/freeverb_class.h"

#include <memory>

#include "binder/simple_binder.h"

namespace {

// The constructor's arguments in order, each applied as that property's write.
using Setter = tjs_error (StkFreeVerb::*)(const tTJSVariant *);
const Setter kConstructorArguments[] = {&StkFreeVerb::setEffectMix, &StkFreeVerb::setRoomSize,
                                        &StkFreeVerb::setDamping,   &StkFreeVerb::setWidth,
                                        &StkFreeVerb::setMode,      &StkFreeVerb::setExtend};
constexpr tjs_int kConstructorArgumentCount =
    static_cast<tjs_int>(sizeof kConstructorArguments / sizeof kConstructorArguments[0]);

}  // namespace

// The members in the order scripts enumerate them; `interface` is the
// filter base's getter, bound for this class explicitly.
void StkFreeVerb::Declare(SimpleBinder::BindUtil &bind) {
  bind.Class(ttstr(u"StkFreeVerb"), &StkFreeVerb::Factory)
      .Property<StkFreeVerb>(ttstr(u"interface"), &tTVPBasicWaveFilter::GetInterface, nullptr)
      .Property(ttstr(u"effectMix"), &StkFreeVerb::getEffectMix, &StkFreeVerb::setEffectMix)
      .Property(ttstr(u"roomSize"), &StkFreeVerb::getRoomSize, &StkFreeVerb::setRoomSize)
      .Property(ttstr(u"damping"), &StkFreeVerb::getDamping, &StkFreeVerb::setDamping)
      .Property(ttstr(u"width"), &StkFreeVerb::getWidth, &StkFreeVerb::setWidth)
      .Property(ttstr(u"mode"), &StkFreeVerb::getMode, &StkFreeVerb::setMode)
      .Property(ttstr(u"extend"), &StkFreeVerb::getExtend, &StkFreeVerb::setExtend);
}

tjs_error StkFreeVerb::Factory(StkFreeVerb *&out, tjs_int numparams, tTJSVariant **params) {
  std::unique_ptr<StkFreeVerb> made(new StkFreeVerb());
  for (tjs_int i = 0; i < numparams && i < kConstructorArgumentCount; ++i)
    (made.get()->*kConstructorArguments[i])(params[i]);
  out = made.release();
  return TJS_S_OK;
}

tjs_error StkFreeVerb::getEffectMix(tTJSVariant *result) {
  if (result) *result = static_cast<tjs_real>(effect.EffectMix());
  return TJS_S_OK;
}

tjs_error StkFreeVerb::setEffectMix(const tTJSVariant *value) {
  effect.SetEffectMix(value->AsReal());
  return TJS_S_OK;
}

tjs_error StkFreeVerb::getRoomSize(tTJSVariant *result) {
  if (result) *result = static_cast<tjs_real>(effect.RoomSize());
  return TJS_S_OK;
}

tjs_error StkFreeVerb::setRoomSize(const tTJSVariant *value) {
  effect.SetRoomSize(value->AsReal());
  return TJS_S_OK;
}

tjs_error StkFreeVerb::getDamping(tTJSVariant *result) {
  if (result) *result = static_cast<tjs_real>(effect.Damping());
  return TJS_S_OK;
}

tjs_error StkFreeVerb::setDamping(const tTJSVariant *value) {
  effect.SetDamping(value->AsReal());
  return TJS_S_OK;
}

tjs_error StkFreeVerb::getWidth(tTJSVariant *result) {
  if (result) *result = static_cast<tjs_real>(effect.Width());
  return TJS_S_OK;
}

tjs_error StkFreeVerb::setWidth(const tTJSVariant *value) {
  effect.SetWidth(value->AsReal());
  return TJS_S_OK;
}

// STK reports the mode as a number; it is read back truncated toward zero.
tjs_error StkFreeVerb::getMode(tTJSVariant *result) {
  if (result) *result = static_cast<tjs_int32>(effect.ModeValue());
  return TJS_S_OK;
}

tjs_error StkFreeVerb::setMode(const tTJSVariant *value) {
  effect.SetMode(static_cast<bool>(*value));
  return TJS_S_OK;
}

tjs_error StkFreeVerb::getExtend(tTJSVariant *result) {
  if (result) *result = static_cast<tTVInteger>(effect.TailMs());
  return TJS_S_OK;
}

tjs_error StkFreeVerb::setExtend(const tTJSVariant *value) {
  effect.SetExtend(static_cast<tjs_uint32>(value->AsInteger()));
  return TJS_S_OK;
}
