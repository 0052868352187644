// The framework inside a really loaded plug-in: its engine calls (the PCM
// converter, the exceptions) go through the function exporter.
#include <memory>
#include <vector>

#include "sound.h"
#include "test_support.h"

namespace {

extern "C" {
typedef iTVPBasicWaveFilter *(*NewFilterFn)(float gain);
typedef void (*DeleteFilterFn)(iTVPBasicWaveFilter *filter);
}

const char kConverter[] = "void ::TVPConvertPCMToFloat(float *,const void *,const tTVPWaveFormat &,tjs_int)";

class WaveProbePluginTest : public testing_support::EngineTest {
 protected:
  WaveProbePluginTest() : Plugin(WAVEFILTER_PROBE_PATH) {
    EXPECT_EQ(Plugin.Link(E()), TJS_HR_S_OK);
    NewFilter = reinterpret_cast<NewFilterFn>(Plugin.Symbol("WaveProbeNewStereoGain"));
    DeleteFilter = reinterpret_cast<DeleteFilterFn>(Plugin.Symbol("WaveProbeDelete"));
  }
  ~WaveProbePluginTest() override { EXPECT_EQ(Plugin.Unlink(), TJS_HR_S_OK); }

  // A plug-in filter, deleted by the plug-in.
  std::unique_ptr<iTVPBasicWaveFilter, DeleteFilterFn> Filter(float gain) {
    return {NewFilter(gain), DeleteFilter};
  }

  standin::PluginModule Plugin;
  NewFilterFn NewFilter = nullptr;
  DeleteFilterFn DeleteFilter = nullptr;
};

TEST_F(WaveProbePluginTest, ConvertsThroughTheExportedConverter) {
  ASSERT_NE(NewFilter, nullptr);
  auto filter = Filter(2.0f);
  standin::MemorySource source = standin::MemorySource::OfInt16(44100, 1, {8192, -4096, 16384});
  standin::SoundBuffer buffer(source);
  buffer.AddFilter(filter.get());

  standin::PlayedSound played = buffer.Play(2);

  EXPECT_EQ(played.Format.Channels, 2u);
  EXPECT_EQ(played.Floats(), (std::vector<float>{0.5f, 0.5f, -0.25f, -0.25f, 1.0f, 1.0f}));
  EXPECT_EQ(E().GetExporter().LookUps(kConverter), 1) << "resolved once, on first use";
}

TEST_F(WaveProbePluginTest, ConnectionErrorsArriveAsEngineExceptions) {
  ASSERT_NE(NewFilter, nullptr);
  auto filter = Filter(1.0f);
  standin::MemorySource wide(standin::WaveFormat(44100, 3, 16, 2), std::vector<uint8_t>(12));
  standin::MemorySource good = standin::MemorySource::OfInt16(44100, 2, {1, 2});

  EXPECT_EQ(testing_support::EngineErrorOf([&] { filter->AttachSource(&wide); }), "invalid channels.");
  EXPECT_EQ(testing_support::EngineErrorOf([&] { filter->AttachSource(&good); }),
            "Cannot connect multiple wave sound buffer at once.");
  filter->DetachSource();
  EXPECT_NE(filter->AttachSource(&good), nullptr);
  filter->DetachSource();
}

}  // namespace
