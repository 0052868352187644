// plughost's command line, run as a separate process end to end.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int Status = -1;  // exit status
  std::string Out;  // standard output
  std::string Err;  // standard error
};

std::string Quote(const std::string &arg) {
  std::string q = "'";
  for (char c : arg) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Slurp(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Audio {
  int Channels = 0;
  int Rate = 0;
  std::vector<float> Samples;
  size_t Frames() const { return Channels ? Samples.size() / Channels : 0; }
};

Audio ReadAudio(const fs::path &path) {
  SF_INFO info = {};
  SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
  Audio a;
  if (!f) return a;
  a.Channels = info.channels;
  a.Rate = info.samplerate;
  a.Samples.resize(static_cast<size_t>(info.frames) * info.channels);
  sf_readf_float(f, a.Samples.data(), info.frames);
  sf_close(f);
  return a;
}

void WriteAudio(const fs::path &path, int channels, int rate, const std::vector<float> &samples, int format) {
  SF_INFO info = {};
  info.channels = channels;
  info.samplerate = rate;
  info.format = format;
  SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
  sf_close(f);
}

class CommandLine : public ::testing::Test {
 protected:
  CommandLine() : Dir(fs::temp_directory_path() / ("plughost_test_" + std::to_string(::getpid()))) {
    fs::create_directories(Dir);
  }
  ~CommandLine() override { fs::remove_all(Dir); }

  Outcome Plughost(const std::vector<std::string> &args) {
    std::string command = Quote(PLUGHOST_PATH);
    for (const auto &a : args) command += " " + Quote(a);
    const fs::path out = Dir / "stdout", err = Dir / "stderr";
    command += " >" + Quote(out.string()) + " 2>" + Quote(err.string());
    Outcome run;
    const int raw = std::system(command.c_str());
    run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    run.Out = Slurp(out);
    run.Err = Slurp(err);
    return run;
  }

  // A mono 16-bit tone of `frames` frames at 44100 Hz.
  fs::path Tone(const std::string &name, int channels = 1, size_t frames = 22050) {
    std::vector<float> s(frames * channels);
    for (size_t i = 0; i < s.size(); ++i) s[i] = 0.5f * std::sin(0.05f * static_cast<float>(i / channels));
    const fs::path p = Dir / name;
    WriteAudio(p, channels, 44100, s, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    return p;
  }

  fs::path Dir;
};

TEST_F(CommandLine, RendersEachEffectAndAChainWithTheTailIncluded) {
  const fs::path in = Tone("in.wav");
  struct Case {
    std::vector<std::string> effects;
    int channels;
    size_t tailFrames;  // at 44100 Hz
  } cases[] = {
      {{"DelayEffect(10, 0.5, 0.8)"}, 1, 44100},
      {{"DelayEffect(10, 0.5, 0.8, 250)"}, 1, 11025},
      {{"GraphicEqualizer().setGain(5, 2.0)"}, 1, 0},
      {{"StkFreeVerb(0.3, 0.9).extend=500"}, 2, 22050},
      {{"GraphicEqualizer(1.5)", "DelayEffect(10, 0.5, 0.8)", "StkFreeVerb()"}, 2, 44100 + 44100},
  };
  for (const auto &c : cases) {
    std::vector<std::string> args = {"render", "--in", in.string(), "--out", (Dir / "out.wav").string()};
    args.insert(args.end(), c.effects.begin(), c.effects.end());
    const Outcome run = Plughost(args);
    ASSERT_EQ(run.Status, 0) << c.effects[0] << ": " << run.Err;
    const Audio out = ReadAudio(Dir / "out.wav");
    EXPECT_EQ(out.Channels, c.channels) << c.effects[0];
    EXPECT_EQ(out.Rate, 44100);
    EXPECT_EQ(out.Frames(), 22050 + c.tailFrames) << c.effects[0];
  }
}

TEST_F(CommandLine, OutputIsIndependentOfTheBlockSizeAndOfTheEngineGeneration) {
  const fs::path in = Tone("in.wav", 2, 30000);
  const std::vector<std::string> chain = {"GraphicEqualizer(2, 0.5, 1, 1, 1, 3)", "DelayEffect(7, 0.6, 0.9, 300)",
                                          "StkFreeVerb(0.5)"};
  auto render = [&](const std::string &name, std::vector<std::string> extra) {
    std::vector<std::string> args = {"render", "--in", in.string(), "--format", "f32", "--out",
                                     (Dir / name).string()};
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), chain.begin(), chain.end());
    const Outcome run = Plughost(args);
    EXPECT_EQ(run.Status, 0) << run.Err;
    return ReadAudio(Dir / name);
  };
  const Audio reference = render("a.wav", {"--block", "4096"});
  ASSERT_GT(reference.Frames(), 30000u);
  for (const auto &extra : std::vector<std::vector<std::string>>{{"--block", "1"}, {"--block", "333"},
                                                                  {"--block", "4096", "--legacy"}}) {
    const Audio other = render("b.wav", extra);
    EXPECT_EQ(other.Samples, reference.Samples) << extra[1] << (extra.size() > 2 ? " legacy" : "");
  }
}

TEST_F(CommandLine, RendersTheDemoInEachFormatAndPrintsTheLog) {
  for (const char *format : {"s16", "s24", "f32"}) {
    const Outcome run = Plughost({"render", "--format", format, "--out", (Dir / "demo.wav").string(), "--log",
                              "DelayEffect(250, 0.4, 0.7)"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("stk license:"), std::string::npos);
    const Audio out = ReadAudio(Dir / "demo.wav");
    EXPECT_EQ(out.Channels, 2);
    EXPECT_EQ(out.Frames(), 4u * 44100 + 44100);
  }
}

TEST_F(CommandLine, StorageCommandsAnswerThroughTheProxyMap) {
  const fs::path file = Dir / "title.ogg";
  std::ofstream(file) << "proxied bytes";
  const std::string target = "file://" + file.string();
  const std::vector<std::string> map = {"--map", "bgm/title.ogg=" + target, "--map", "bgm/loop.ogg=mem://x"};
  auto storage = [&](const std::string &action, const std::string &name) {
    std::vector<std::string> args = {"storage"};
    args.insert(args.end(), map.begin(), map.end());
    args.push_back(action);
    args.push_back(name);
    return Plughost(args);
  };
  EXPECT_EQ(storage("exists", "proxy://BGM/Title.ogg").Out, "true\n");
  EXPECT_EQ(storage("exists", "proxy://bgm/none.ogg").Out, "false\n");
  EXPECT_EQ(storage("read", "proxy://bgm/title.ogg").Out, "proxied bytes");
  EXPECT_EQ(storage("list", "proxy://bgm/").Out, "title.ogg\nloop.ogg\n");
  EXPECT_EQ(storage("local", "proxy://bgm/title.ogg").Out, file.string() + "\n");
  EXPECT_EQ(storage("local", "proxy://bgm/loop.ogg").Out, "\n") << "no local name: an empty line";
  const Outcome missing = storage("read", "proxy://BGM/None.ogg");
  EXPECT_EQ(missing.Status, 1);
  EXPECT_EQ(missing.Err, "plughost: engine error: cannot open proxyfile:BGM/None.ogg\n");
}

TEST_F(CommandLine, WrongInputGetsOneLineAndANonZeroStatus) {
  const fs::path in = Tone("in.wav");
  const fs::path three = Dir / "three.wav";
  WriteAudio(three, 3, 44100, std::vector<float>(300, 0.1f), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  const fs::path text = Dir / "notes.txt";
  std::ofstream(text) << "not audio";
  const std::string out = (Dir / "x.wav").string();
  struct Case {
    std::vector<std::string> args;
    int status;
    const char *message;
  } cases[] = {
      {{"render", "--out", out, "NoSuchEffect()"}, 1, "unknown class: NoSuchEffect"},
      {{"render", "--out", out, "DelayEffect().frobnicate(1)"}, 1, "unknown member: DelayEffect.frobnicate"},
      {{"render", "--out", out, "GraphicEqualizer().setGain(1)"}, 1, "GraphicEqualizer.setGain: too few"},
      {{"render", "--out", out, "StkFreeVerb().interface=5"}, 1, "StkFreeVerb.interface: access denied"},
      {{"render", "--out", out, "StkFreeVerb().roomSize(5)"}, 1, "StkFreeVerb.roomSize is not a method"},
      {{"render", "--out", out, "GraphicEqualizer().setGain=5"}, 1, "is a method, not a property"},
      {{"render", "--out", out, "DelayEffect(300,"}, 1, "bad effect: expected a value"},
      {{"render", "--in", (Dir / "missing.wav").string(), "--out", out, "DelayEffect()"}, 1, "cannot read"},
      {{"render", "--in", text.string(), "--out", out, "DelayEffect()"}, 1, "cannot read"},
      {{"render", "--in", three.string(), "--out", out, "DelayEffect()"}, 1, "engine error: invalid channels."},
      {{"render", "--in", in.string(), "--out", (Dir / "no/such/dir/x.wav").string(), "DelayEffect()"}, 1,
       "cannot write"},
      {{"render", "--format", "s8", "--out", out, "DelayEffect()"}, 1, "--format must be"},
      {{"render", "--block", "0", "--out", out, "DelayEffect()"}, 1, "--block must be"},
      {{"render", "--block", "many", "DelayEffect()"}, 2, "plughost: "},
      {{"render"}, 2, "EFFECT"},
      {{"frobnicate"}, 2, "plughost: "},
      {{"storage", "--map", "nokey", "exists", "proxy://a"}, 1, "--map wants KEY=TARGET"},
      {{"storage", "open", "proxy://a"}, 2, "plughost: "},
      {{"storage", "read", "nomedia"}, 1, "engine error: invalid storage name"},
      {{"response", "--gains", "1,2", "--out", (Dir / "r.png").string()}, 1, "ten values"},
      {{"response", "--gains", "1,x,1,1,1,1,1,1,1,1", "--out", (Dir / "r.png").string()}, 1, "not a number"},
  };
  for (const auto &c : cases) {
    const Outcome run = Plughost(c.args);
    std::string joined;
    for (const auto &a : c.args) joined += a + " ";
    EXPECT_EQ(run.Status, c.status) << joined << "\n" << run.Err;
    EXPECT_NE(run.Err.find(c.message), std::string::npos) << joined << "\n" << run.Err;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << joined << "\n" << run.Err;
  }
}

TEST_F(CommandLine, ResponsePlotsMeasuredAgainstPredicted) {
  const fs::path png = Dir / "response.png";
  const Outcome run = Plughost({"response", "--gains", "1,1,1,1,1,2,1,1,1,1", "--out", png.string()});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(Slurp(png).substr(1, 3), "PNG");
  // Every measured point lies within 0.5 dB of the prediction.
  std::ifstream data(png.string() + ".dat");
  std::string line;
  int points = 0;
  while (std::getline(data, line)) {
    if (line.empty() || line[0] == '#') continue;
    double hz, measured, predicted;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf %lf %lf", &hz, &measured, &predicted), 3);
    EXPECT_NEAR(measured, predicted, 0.5) << hz << " Hz";
    ++points;
  }
  EXPECT_GT(points, 50);
}

}  // namespace
