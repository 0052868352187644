// render.cpp — `plughost render`: a file (or the demo) through a chain of
// effects, into a file (or standard output) holding every frame the chain
// reports, tail included up to a cap; clipping reported on standard error.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>

#include "commands.h"
#include "session.h"
#include "sound.h"

namespace plughost {

namespace {

volatile std::sig_atomic_t gInterrupted = 0;
extern "C" void NoteInterrupt(int) { gInterrupted = 1; }

// While alive, SIGINT, SIGTERM and SIGHUP only set gInterrupted, so that the
// render loop stops between blocks and the output's old content survives.
class InterruptGuard {
 public:
  InterruptGuard() {
    gInterrupted = 0;
    struct sigaction action = {};
    action.sa_handler = NoteInterrupt;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &Previous[i]);
  }
  ~InterruptGuard() {
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &Previous[i], nullptr);
  }
  InterruptGuard(const InterruptGuard &) = delete;
  InterruptGuard &operator=(const InterruptGuard &) = delete;

 private:
  static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction Previous[3];
};

// The render's input: the demo signal in memory or a file.
struct Input {
  std::unique_ptr<standin::MemorySource> Memory;
  std::unique_ptr<standin::FileSource> File;
  uint64_t Frames = 0;
  tTVPSampleAndLabelSource &Source() {
    if (Memory) return *Memory;
    return *File;
  }
};

Input OpenInput(const std::string &path) {
  Input input;
  if (path.empty()) {
    const std::vector<int16_t> demo = MakeDemoSignal();
    input.Frames = demo.size() / kDemoChannels;
    input.Memory =
        std::make_unique<standin::MemorySource>(standin::MemorySource::OfInt16(kDemoRate, kDemoChannels, demo));
    return input;
  }
  try {
    input.File = std::make_unique<standin::FileSource>(path);
  } catch (const standin::EngineError &e) {
    throw Failure(std::string("cannot read ") + path + ": " + e.what());
  }
  input.Frames = input.File->TotalFrames();
  return input;
}

std::string Decibels(double linear) {
  if (linear <= 0) return "-inf dBFS";
  std::ostringstream text;
  text << std::showpos << std::fixed << std::setprecision(1) << 20 * std::log10(linear) << " dBFS";
  return text.str();
}

// Progress on a terminal only, once the render has taken a few seconds.
class Progress {
 public:
  explicit Progress(unsigned rate) : Rate(rate), Start(Clock::now()), Last(Start), Shown(false) {
    OnTerminal = ::isatty(STDERR_FILENO) == 1;
  }
  void Update(uint64_t frames) {
    if (!OnTerminal) return;
    const auto now = Clock::now();
    if (now - Start < std::chrono::seconds(3) || now - Last < std::chrono::milliseconds(500)) return;
    Last = now;
    Shown = true;
    std::cerr << "\rplughost: " << std::fixed << std::setprecision(1) << static_cast<double>(frames) / Rate
              << " s of audio rendered" << std::flush;
  }
  ~Progress() {
    if (Shown) std::cerr << "\r\033[K" << std::flush;
  }

 private:
  using Clock = std::chrono::steady_clock;
  unsigned Rate;
  Clock::time_point Start, Last;
  bool Shown;
  bool OnTerminal = false;
};

}  // namespace

ClipReport MeasureClipping(const float *samples, size_t count, ClipReport report) {
  for (size_t i = 0; i < count; ++i) {
    const float x = std::fabs(samples[i]);
    if (!(x <= 1.0f)) {
      if (std::isfinite(x)) ++report.Clipped;
      else ++report.NonFinite;
    }
    if (std::isfinite(x) && x > report.Peak) report.Peak = x;
  }
  return report;
}

std::string DescribeClipping(const ClipReport &r) {
  std::ostringstream text;
  text << "plughost: ";
  if (r.Clipped == 0) text << "no clipping";
  else text << "clipping: " << r.Clipped << " sample" << (r.Clipped == 1 ? "" : "s") << " beyond full scale";
  text << " (peak " << std::setprecision(4) << r.Peak << ", " << Decibels(r.Peak) << ")";
  if (r.NonFinite) text << "; " << r.NonFinite << " non-finite samples";
  return text.str();
}

void CheckRenderOptions(const RenderOptions &o) {
  if (o.Block < 1 || o.Block > kMostBlockFrames)
    throw Failure("--block must be between 1 and " + std::to_string(kMostBlockFrames) + " frames");
  if (!std::isfinite(o.GainDb) || std::fabs(o.GainDb) > 200) throw Failure("--gain must be between -200 and 200 dB");
  if (!(o.MaxTailSeconds >= 0) || o.MaxTailSeconds > kMostTailSeconds)
    throw Failure("--max-tail must be between 0 and " + std::to_string(static_cast<int>(kMostTailSeconds)) +
                  " seconds");
  if (!o.In.empty() && o.Out != "-" && SameFile(o.In, o.Out))
    throw Failure("refusing to write " + o.Out + ": it is the input file " + o.In);
}

int Render(const RenderOptions &o) {
  std::vector<EffectExpression> chain;
  for (const auto &text : o.Effects) chain.push_back(ParseEffect(text));
  CheckRenderOptions(o);
  SampleFormat requested = SampleFormat::S16;
  if (!o.Format.empty() && !ParseSampleFormat(o.Format, requested))
    throw Failure("--format must be s16, s24, s32 or f32");

  const bool toStdout = o.Out == "-";
  Session session(o.Plugin, o.Legacy, o.Log, toStdout ? &std::cerr : &std::cout);
  Input input = OpenInput(o.In);
  const tTVPWaveFormat inFormat = input.Source().GetFormat();
  const unsigned rate = inFormat.SamplesPerSec;
  if (rate < kLowestRate || rate > kHighestRate)
    throw Failure("cannot render " + (o.In.empty() ? std::string("the demo") : o.In) + ": its sample rate " +
                  std::to_string(rate) + " Hz is outside what the engine plays (" + std::to_string(kLowestRate) +
                  " to " + std::to_string(kHighestRate) + " Hz)");
  const float gain = static_cast<float>(std::pow(10.0, o.GainDb / 20.0));
  const uint64_t mostFrames = input.Frames + static_cast<uint64_t>(o.MaxTailSeconds * rate);

  uint64_t frames = 0;
  unsigned channels = 0;
  bool cut = false;
  ClipReport clipping;
  OutputPlan plan;
  {
    InterruptGuard interrupts;
    standin::SoundBuffer buffer(input.Source());
    for (const auto &e : chain) buffer.AddFilterByInterface(session.InterfaceOf(session.CreateEffect(e)));
    // Block by block, straight into the file: nothing of the render is kept.
    buffer.KeepPlayed(false);
    buffer.Attach();
    channels = buffer.OutputFormat().Channels;
    const SampleFormat format = o.Format.empty() ? SampleFormatOf(inFormat) : requested;
    plan = PlanOutput(o.Out, format, !o.Format.empty(), mostFrames * channels * BytesPerSample(format));
    AudioWriter writer(o.Out, plan, channels, rate);
    std::vector<float> block(static_cast<size_t>(o.Block) * channels);
    Progress progress(rate);
    for (;;) {
      if (gInterrupted) throw Interrupted("interrupted; " + (toStdout ? std::string("the stream ends here") :
                                                              o.Out + " left as it was"));
      const uint64_t room = mostFrames - frames;
      if (room == 0) {
        cut = buffer.PullBlock(1) == 1;  // does the chain have more to say?
        break;
      }
      const tjs_uint32 asked = static_cast<tjs_uint32>(std::min<uint64_t>(o.Block, room));
      const tjs_uint32 rendered = buffer.PullBlock(asked);
      const size_t samples = static_cast<size_t>(rendered) * channels;
      const tTVPWaveFormat &out = buffer.OutputFormat();
      if (out.IsFloat && out.BytesPerSample == 4) std::memcpy(block.data(), buffer.LastBlock(), samples * sizeof(float));
      else TVPConvertPCMToFloat(block.data(), buffer.LastBlock(), out, static_cast<tjs_int>(rendered));
      if (gain != 1.0f)
        for (size_t i = 0; i < samples; ++i) block[i] *= gain;
      clipping = MeasureClipping(block.data(), samples, clipping);
      writer.Write(block.data(), rendered);
      frames += rendered;
      progress.Update(frames);
      if (rendered < asked) break;
    }
    buffer.Detach();
    writer.Commit();
  }
  session.Close();
  if (cut)
    std::cerr << "plughost: the tail was cut after " << o.MaxTailSeconds
              << " s (the chain had more; raise the cap with --max-tail SECONDS)\n";
  std::cerr << "plughost: wrote " << (toStdout ? std::string("standard output") : o.Out) << " (" << plan.Container
            << ", " << frames << " frames, " << channels << " channel"
            << (channels == 1 ? "" : "s") << ", " << rate << " Hz)\n";
  std::cerr << DescribeClipping(clipping) << '\n';
  return 0;
}

}  // namespace plughost
