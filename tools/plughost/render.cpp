// render.cpp — `plughost render`: a file (or the demo) through a chain of
// effects, into a WAV file holding every frame the chain reports.
#include <iostream>
#include <memory>

#include "commands.h"
#include "session.h"
#include "sound.h"

namespace plughost {

namespace {

// The render's input: the demo signal in memory or a file.
struct Input {
  std::unique_ptr<standin::MemorySource> Memory;
  std::unique_ptr<standin::FileSource> File;
  tTVPSampleAndLabelSource &Source() {
    if (Memory) return *Memory;
    return *File;
  }
};

Input OpenInput(const std::string &path) {
  Input input;
  if (path.empty()) {
    input.Memory = std::make_unique<standin::MemorySource>(
        standin::MemorySource::OfInt16(kDemoRate, kDemoChannels, MakeDemoSignal()));
    return input;
  }
  try {
    input.File = std::make_unique<standin::FileSource>(path);
  } catch (const standin::EngineError &e) {
    throw Failure(std::string("cannot read ") + path + ": " + e.what());
  }
  return input;
}

}  // namespace

int Render(const RenderOptions &o) {
  std::vector<EffectExpression> chain;
  for (const auto &text : o.Effects) chain.push_back(ParseEffect(text));
  if (o.Block == 0) throw Failure("--block must be at least 1 frame");

  Session session(o.Plugin, o.Legacy, o.Log);
  Input input = OpenInput(o.In);
  const tTVPWaveFormat inFormat = input.Source().GetFormat();
  uint64_t frames = 0;
  unsigned channels = 0;
  {
    standin::SoundBuffer buffer(input.Source());
    for (const auto &e : chain) buffer.AddFilterByInterface(session.InterfaceOf(session.CreateEffect(e)));
    // Block by block, straight into the file: nothing of the render is kept.
    buffer.KeepPlayed(false);
    buffer.Attach();
    channels = buffer.OutputFormat().Channels;
    WavWriter writer(o.Out, channels, inFormat.SamplesPerSec, o.Format);
    for (;;) {
      const tjs_uint32 rendered = buffer.PullBlock(o.Block);
      writer.Write(buffer.LastBlock(), rendered, buffer.OutputFormat());
      if (rendered < o.Block) break;
    }
    buffer.Detach();
    writer.Close();
    frames = writer.Frames();
  }
  session.Close();
  std::cerr << "plughost: wrote " << o.Out << " (" << frames << " frames, " << channels << " channel"
            << (channels == 1 ? "" : "s") << ", " << inFormat.SamplesPerSec << " Hz)\n";
  return 0;
}

}  // namespace plughost
