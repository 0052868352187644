// effect_table.cpp — the entries of the effect table, one block per effect,
// in declaration order. See effect_table.h.
#include "effects/effect_table.h"

#include <cstring>

#ifdef SONAFILTER_DECLARES_EFFECTS
#include "effects/delay_class.h"
#include "effects/freeverb_class.h"
#include "effects/graphic_eq_class.h"
#define EFFECT_DECLARE_HOOK(NativeClass) &NativeClass::Declare
#else
#define EFFECT_DECLARE_HOOK(NativeClass) nullptr
#endif

namespace effects {

namespace {

using P = ParameterDescription;
using M = MemberDescription;
constexpr ValueType kInteger = ValueType::Integer;
constexpr ValueType kReal = ValueType::Real;
constexpr ValueType kBoolean = ValueType::Boolean;

// Every class's first member: the value handed to the engine as the filter.
constexpr M kInterface = {"interface", MemberKind::ReadOnlyProperty, "interface",
                          "the filter's address, to hand to the engine where it takes a wave filter"};

// ----- StkFreeVerb -----------------------------------------------------------------
constexpr double kMixOutside[] = {-0.5, 1.5, 3.0};
constexpr double kRoomOutside[] = {-1.0, 1.2, 2.0, 10.0};
constexpr double kDampingOutside[] = {-1.0, 1.5, 5.0};
constexpr double kWidthOutside[] = {-2.0, 3.0};
constexpr P kReverbParameters[] = {
    {"effectMix", kReal, 0.75, "", 0.0, 1.0, "dry/wet mix: 0 dry, 1 wet; used limited to 0..1",
     ParameterRole::Plain, kMixOutside},
    {"roomSize", kReal, 0.75, "", 0.0, 1.0, "room size: the longer the tail the larger", ParameterRole::Plain,
     kRoomOutside},
    {"damping", kReal, 0.25, "", 0.0, 1.0, "high-frequency damping of the tail", ParameterRole::Plain,
     kDampingOutside},
    {"width", kReal, 1.0, "", 0.0, 1.0, "stereo width: 0 mono, 1 wide", ParameterRole::Plain, kWidthOutside},
    {"mode", kBoolean, 0.0, "", 0.0, 1.0, "true freezes the reverb: it holds its tail and takes no input"},
    {"extend", kInteger, 1000.0, "ms", 0.0, 10000.0, "tail length after the input ends, taken at the next attach",
     ParameterRole::TailMs},
};
constexpr P kReverbParameter[6][1] = {{kReverbParameters[0]}, {kReverbParameters[1]}, {kReverbParameters[2]},
                                      {kReverbParameters[3]}, {kReverbParameters[4]}, {kReverbParameters[5]}};
constexpr M kReverbMembers[] = {
    kInterface,
    {"effectMix", MemberKind::Property, "effectMix", "dry/wet mix (real)", kReverbParameter[0]},
    {"roomSize", MemberKind::Property, "roomSize", "room size (real)", kReverbParameter[1]},
    {"damping", MemberKind::Property, "damping", "damping (real)", kReverbParameter[2]},
    {"width", MemberKind::Property, "width", "stereo width (real)", kReverbParameter[3]},
    {"mode", MemberKind::Property, "mode", "1 frozen, 0 normal (integer, written as a truth value)",
     kReverbParameter[4]},
    {"extend", MemberKind::Property, "extend", "tail length in ms (integer)", kReverbParameter[5]},
};

// ----- GraphicEqualizer --------------------------------------------------------------
constexpr double kBandOutside[] = {10.0, -1.0};
constexpr double kGainOutside[] = {0.0, -1.0, -10.0, 1e-9, 100.0, 1e6, 1e30};
constexpr P kBand = {"band", kInteger, 0.0, "", 0.0, 9.0,
                     "0 low shelf 31.5 Hz; 1-8 peaks 63 Hz to 8 kHz; 9 high shelf 16 kHz", ParameterRole::Index,
                     kBandOutside};
constexpr P kGain = {"gain", kReal, 1.0, "linear gain", 0.25, 4.0, "1.0 flat, 2.0 about +6 dB, 0.5 about -6 dB",
                     ParameterRole::Plain, kGainOutside};
constexpr P kEqualizerConstructor[] = {kGain, kGain, kGain, kGain, kGain, kGain, kGain, kGain, kGain, kGain};
constexpr P kBandOnly[] = {kBand};
constexpr P kBandAndGain[] = {kBand, kGain};
constexpr M kEqualizerMembers[] = {
    kInterface,
    {"getGain", MemberKind::QueryMethod, "getGain(band)", "the band's gain as stored (0.0 outside 0..9)", kBandOnly,
     1},
    {"setGain", MemberKind::Method, "setGain(band, gain)", "sets a band's gain, heard from the next attach",
     kBandAndGain, 2},
};

// ----- DelayEffect --------------------------------------------------------------------
// 100000 ms makes ms x rate exceed 32 bits at every rate above 42 kHz; far
// longer delays are refused at attach for want of memory, which the sweep
// does not exercise.
constexpr double kDelayOutside[] = {0.0, -1000.0, 70000.0, 100000.0};
constexpr double kFeedbackOutside[] = {-1.0, 1.0, -3.0, 3.0};
constexpr double kWetOutside[] = {-2.0, 2.0, -10.0, 10.0, 1000.0};
constexpr P kDelayParameters[] = {
    {"delayMs", kInteger, 0.0, "ms", 1.0, 2000.0, "time between repeats, taken at the next attach",
     ParameterRole::Plain, kDelayOutside},
    {"feedback", kReal, 0.0, "linear factor", -0.95, 0.95, "each repeat is the previous one times this",
     ParameterRole::Plain, kFeedbackOutside},
    {"wetLevel", kReal, 0.0, "linear gain", 0.0, 1.0, "level of the repeats added to the input",
     ParameterRole::Plain, kWetOutside},
    {"tailMs", kInteger, 1000.0, "ms", 0.0, 10000.0, "tail length after the input ends, taken at the next attach",
     ParameterRole::TailMs},
};
constexpr M kDelayMembers[] = {
    kInterface,
    {"init", MemberKind::Method, "init(delayMs, feedback, wetLevel[, tailMs])",
     "sets the echo; with fewer than three arguments nothing changes", kDelayParameters, 3},
};

// ----- the table ----------------------------------------------------------------------
constexpr EffectDescription kEffects[] = {
    {"StkFreeVerb", "StkFreeVerb", "stereo reverb (STK's FreeVerb)",
     "StkFreeVerb([effectMix, roomSize, damping, width, mode, extend])", kReverbParameters, kReverbMembers, 1000, true,
     "StkFreeVerb(0.3, 0.9).damping=0.4", EFFECT_DECLARE_HOOK(StkFreeVerb)},
    {"GraphicEqualizer", "GraphicEqualizer", "ten-band graphic equalizer",
     "GraphicEqualizer([gain0, gain1, ..., gain9])", kEqualizerConstructor, kEqualizerMembers, 0, false,
     "GraphicEqualizer(1.5, 1.2).setGain(5, 2.0)", EFFECT_DECLARE_HOOK(GraphicEqualizer)},
    {"DelayEffect", "WaveDelay", "echoes with feedback", "DelayEffect([delayMs, feedback, wetLevel[, tailMs]])",
     kDelayParameters, kDelayMembers, 1000, false, "DelayEffect(300, 0.5, 0.8)", EFFECT_DECLARE_HOOK(WaveDelay)},
};

}  // namespace

const List<EffectDescription> kEffectTable = kEffects;

const EffectDescription *FindEffect(const char *name) {
  for (const EffectDescription &effect : kEffectTable)
    if (std::strcmp(effect.ScriptClass, name) == 0) return &effect;
  return nullptr;
}

const MemberDescription *FindMember(const EffectDescription &effect, const char *name) {
  for (const MemberDescription &member : effect.Members)
    if (std::strcmp(member.Name, name) == 0) return &member;
  return nullptr;
}

}  // namespace effects
