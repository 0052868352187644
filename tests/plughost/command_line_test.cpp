// plughost's command line, run as a separate process end to end.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "effects/effect_table.h"

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

  // Runs plughost with `args`; its standard output goes to `stdoutTo` (a
  // file read back into Out unless it is a device), `prefix` runs first in
  // the same shell (limits, traps).
  Outcome Plughost(const std::vector<std::string> &args, const std::string &stdoutTo = "",
                   const std::string &prefix = "") {
    std::string command = Quote(PLUGHOST_PATH);
    for (const auto &a : args) command += " " + Quote(a);
    const fs::path out = stdoutTo.empty() ? Dir / "stdout" : fs::path(stdoutTo), err = Dir / "stderr";
    command += " >" + Quote(out.string()) + " 2>" + Quote(err.string());
    if (!prefix.empty()) command = "(" + prefix + "; exec " + command + ")";
    Outcome run;
    const int raw = std::system(command.c_str());
    run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    if (out.string().rfind("/dev/", 0) != 0) run.Out = Slurp(out);
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

// ----- discover: list, describe, version, suggestions -----------------------------------------

TEST_F(CommandLine, ListNamesEveryClassOfThePluginInDeclarationOrderWithItsMembers) {
  const Outcome run = Plughost({"list"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  size_t previous = 0;
  for (const auto &effect : effects::kEffectTable) {
    const size_t at = run.Out.find(effect.Constructor);
    ASSERT_NE(at, std::string::npos) << effect.ScriptClass << "\n" << run.Out;
    EXPECT_GE(at, previous) << effect.ScriptClass << " out of order";
    previous = at;
    for (const auto &member : effect.Members) EXPECT_NE(run.Out.find(member.Signature), std::string::npos);
  }
}

TEST_F(CommandLine, ListOfAClassGivesEachParameterWithDefaultUnitAndRangeAndAnExampleThatRenders) {
  for (const auto &effect : effects::kEffectTable) {
    const Outcome run = Plughost({"list", effect.ScriptClass});
    ASSERT_EQ(run.Status, 0) << effect.ScriptClass << ": " << run.Err;
    for (const auto &member : effect.Members) {
      EXPECT_NE(run.Out.find(member.Signature), std::string::npos) << member.Name;
      for (const auto &p : member.Parameters) {
        const std::string line = std::string(p.Name) + ": ";
        EXPECT_NE(run.Out.find(line), std::string::npos) << effect.ScriptClass << "." << p.Name;
        if (*p.Unit) {
          EXPECT_NE(run.Out.find(std::string("(") + p.Unit + ")"), std::string::npos) << p.Name;
        }
      }
    }
    EXPECT_NE(run.Out.find("default"), std::string::npos);
    EXPECT_NE(run.Out.find("useful"), std::string::npos);
    EXPECT_NE(run.Out.find(std::string("plughost render '") + effect.Example + "'"), std::string::npos);
    const Outcome example = Plughost({"render", "--out", (Dir / "example.wav").string(), effect.Example});
    EXPECT_EQ(example.Status, 0) << effect.Example << ": " << example.Err;
  }
  const Outcome delay = Plughost({"list", "DelayEffect"});
  EXPECT_NE(delay.Out.find("delayMs: integer (ms), default 0, useful 1 to 2000"), std::string::npos) << delay.Out;
  EXPECT_NE(delay.Out.find("tailMs: integer (ms), default 1000"), std::string::npos) << delay.Out;
}

TEST_F(CommandLine, VersionIsPrinted) {
  const Outcome run = Plughost({"--version"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out.rfind("plughost ", 0), 0u) << run.Out;
  EXPECT_GT(run.Out.size(), std::string("plughost \n").size());
}

TEST_F(CommandLine, MistypedClassesMembersAndCommandsGetASuggestion) {
  const std::string out = (Dir / "x.wav").string();
  struct Case {
    std::vector<std::string> args;
    int status;
    const char *message;  // expected on standard error, "" for no suggestion at all
  } cases[] = {
      {{"render", "--out", out, "DelayEffet(300, 0.5, 0.8)"}, 1, "unknown class: DelayEffet (did you mean DelayEffect?)"},
      {{"render", "--out", out, "graphicequalizer()"}, 1, "(did you mean GraphicEqualizer?)"},
      {{"render", "--out", out, "StkFreeVerb().roomsize=0.5"}, 1,
       "unknown member: StkFreeVerb.roomsize (did you mean roomSize?)"},
      {{"render", "--out", out, "GraphicEqualizer().setgain(1, 2.0)"}, 1, "(did you mean setGain?)"},
      {{"list", "StkFreeverb"}, 1, "unknown class: StkFreeverb (did you mean StkFreeVerb?)"},
      {{"rendr", "DelayEffect()"}, 2, "unknown command: rendr (did you mean render?)"},
      {{"lsit"}, 2, "(did you mean list?)"},
      {{"render", "--out", out, "Xylophone()"}, 1, ""},
  };
  for (const auto &c : cases) {
    const Outcome run = Plughost(c.args);
    EXPECT_EQ(run.Status, c.status) << c.args[0] << " " << c.args.back() << "\n" << run.Err;
    if (*c.message) {
      EXPECT_NE(run.Err.find(c.message), std::string::npos) << run.Err;
    } else {
      EXPECT_EQ(run.Err.find("did you mean"), std::string::npos) << run.Err;
    }
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
  }
}

// ----- hear: formats, standard output, clipping, gain -------------------------------------------

int FileFormat(const fs::path &path) {
  SF_INFO info = {};
  SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return 0;
  sf_close(f);
  return info.format;
}

TEST_F(CommandLine, TheOutputFormatFollowsTheExtension) {
  const fs::path in = Tone("in.wav");
  const struct {
    const char *name;
    int major;
  } cases[] = {{"o.wav", SF_FORMAT_WAV},   {"o.WAV", SF_FORMAT_WAV},  {"o.flac", SF_FORMAT_FLAC},
               {"o.ogg", SF_FORMAT_OGG},   {"o.aiff", SF_FORMAT_AIFF}, {"o.au", SF_FORMAT_AU},
               {"o.w64", SF_FORMAT_W64},   {"o.caf", SF_FORMAT_CAF},  {"o.rf64", SF_FORMAT_RF64}};
  for (const auto &c : cases) {
    const fs::path out = Dir / c.name;
    const Outcome run = Plughost({"render", "--in", in.string(), "--out", out.string(), "DelayEffect(10, 0.5, 0.5)"});
    ASSERT_EQ(run.Status, 0) << c.name << ": " << run.Err;
    EXPECT_EQ(FileFormat(out) & SF_FORMAT_TYPEMASK, c.major) << c.name;
    EXPECT_EQ(ReadAudio(out).Frames(), 22050u + 44100u) << c.name;
  }
  for (const char *name : {"o.mp4", "o.xyz", "noextension"}) {
    const Outcome run = Plughost({"render", "--in", in.string(), "--out", (Dir / name).string(), "DelayEffect()"});
    EXPECT_EQ(run.Status, 1) << name;
    EXPECT_NE(run.Err.find("unknown extension"), std::string::npos) << run.Err;
    EXPECT_FALSE(fs::exists(Dir / name)) << "never a silent WAV";
  }
}

TEST_F(CommandLine, TheSampleFormatDefaultsToTheInputsDepth) {
  const std::vector<float> tone(2000, 0.25f);
  struct Case {
    int input;                // libsndfile subtype of the input
    std::vector<std::string> extra;
    const char *out;
    int expected;             // subtype written, 0: refused
  } cases[] = {
      {SF_FORMAT_FLOAT, {}, "a.wav", SF_FORMAT_FLOAT},
      {SF_FORMAT_PCM_24, {}, "b.wav", SF_FORMAT_PCM_24},
      {SF_FORMAT_PCM_32, {}, "c.wav", SF_FORMAT_PCM_32},
      {SF_FORMAT_PCM_16, {}, "d.wav", SF_FORMAT_PCM_16},
      {SF_FORMAT_PCM_U8, {}, "e.wav", SF_FORMAT_PCM_16},
      {SF_FORMAT_FLOAT, {"--format", "s16"}, "f.wav", SF_FORMAT_PCM_16},
      {SF_FORMAT_FLOAT, {}, "g.flac", SF_FORMAT_PCM_24},  // FLAC holds no floats: the nearest it can
      {SF_FORMAT_FLOAT, {"--format", "f32"}, "h.flac", 0},
  };
  for (const auto &c : cases) {
    const fs::path in = Dir / "in.wav";
    WriteAudio(in, 1, 44100, tone, SF_FORMAT_WAV | c.input);
    std::vector<std::string> args = {"render", "--in", in.string(), "--out", (Dir / c.out).string()};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    args.push_back("GraphicEqualizer()");
    const Outcome run = Plughost(args);
    if (c.expected == 0) {
      EXPECT_EQ(run.Status, 1) << c.out;
      EXPECT_NE(run.Err.find("cannot write f32 samples to FLAC"), std::string::npos) << run.Err;
      continue;
    }
    ASSERT_EQ(run.Status, 0) << c.out << ": " << run.Err;
    EXPECT_EQ(FileFormat(Dir / c.out) & SF_FORMAT_SUBMASK, c.expected) << c.out;
  }
}

TEST_F(CommandLine, StandardOutputCarriesTheSameSamplesAsAFile) {
  const fs::path in = Tone("in.wav", 2, 30000);
  const std::vector<std::string> chain = {"GraphicEqualizer(2.0)", "StkFreeVerb(0.4)"};
  std::vector<std::string> args = {"render", "--in", in.string(), "--format", "f32", "--out"};
  std::vector<std::string> toFile = args, toStdout = args;
  toFile.push_back((Dir / "file.wav").string());
  toStdout.push_back("-");
  toFile.insert(toFile.end(), chain.begin(), chain.end());
  toStdout.insert(toStdout.end(), chain.begin(), chain.end());
  ASSERT_EQ(Plughost(toFile).Status, 0);
  const Outcome streamed = Plughost(toStdout, (Dir / "stream.au").string());
  ASSERT_EQ(streamed.Status, 0) << streamed.Err;
  EXPECT_EQ(Slurp(Dir / "stream.au").substr(0, 4), ".snd");
  const Audio file = ReadAudio(Dir / "file.wav"), stream = ReadAudio(Dir / "stream.au");
  ASSERT_GT(file.Frames(), 30000u);
  EXPECT_EQ(stream.Rate, 44100);
  EXPECT_EQ(stream.Channels, 2);
  EXPECT_EQ(stream.Samples, file.Samples);
  // SoX reads the stream from a pipe, as `plughost render ... --out - | play -`
  // does; several times, as what SoX finds first depends on timing.
  if (std::system("command -v sox >/dev/null 2>&1") == 0) {
    const std::string pipe = Quote(PLUGHOST_PATH) + " render --in " + Quote(in.string()) +
                             " --out - DelayEffect'(10, 0.5, 0.5)' 2>/dev/null | sox - -n stat 2>" +
                             Quote((Dir / "sox").string());
    for (int run = 0; run < 5; ++run) {
      EXPECT_EQ(std::system(pipe.c_str()), 0) << "run " << run;
      const std::string report = Slurp(Dir / "sox");
      EXPECT_NE(report.find("Samples read:"), std::string::npos) << report;
      EXPECT_EQ(report.find("WARN"), std::string::npos) << report;
    }
  }
}

TEST_F(CommandLine, EveryRenderReportsClippingAndGainAppliesAfterTheChain) {
  const fs::path in = Tone("in.wav");  // peak 0.5
  auto render = [&](const std::string &name, std::vector<std::string> extra) {
    std::vector<std::string> args = {"render", "--in", in.string(), "--format", "f32", "--out", (Dir / name).string()};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("GraphicEqualizer()");
    return Plughost(args);
  };
  const Outcome plain = render("plain.wav", {});
  ASSERT_EQ(plain.Status, 0) << plain.Err;
  EXPECT_NE(plain.Err.find("plughost: no clipping (peak 0.5"), std::string::npos) << plain.Err;
  EXPECT_NE(plain.Err.find("-6.0 dBFS)"), std::string::npos) << plain.Err;
  EXPECT_EQ(std::count(plain.Err.begin(), plain.Err.end(), '\n'), 2) << "no progress line off a terminal\n"
                                                                      << plain.Err;

  const Outcome loud = render("loud.wav", {"--gain", "12"});
  ASSERT_EQ(loud.Status, 0) << loud.Err;
  const Audio reference = ReadAudio(Dir / "plain.wav"), louder = ReadAudio(Dir / "loud.wav");
  ASSERT_EQ(louder.Samples.size(), reference.Samples.size());
  const float factor = static_cast<float>(std::pow(10.0, 12.0 / 20));
  size_t beyond = 0;
  for (size_t i = 0; i < reference.Samples.size(); ++i) {
    EXPECT_FLOAT_EQ(louder.Samples[i], reference.Samples[i] * factor) << i;
    beyond += std::fabs(louder.Samples[i]) > 1.0f;
  }
  ASSERT_GT(beyond, 0u);
  EXPECT_NE(loud.Err.find("plughost: clipping: " + std::to_string(beyond) + " samples beyond full scale (peak 1.99"),
            std::string::npos)
      << loud.Err;
  EXPECT_NE(loud.Err.find("+6.0 dBFS)"), std::string::npos) << loud.Err;
}

TEST_F(CommandLine, DryRendersTheInputAsItIs) {
  const fs::path in = Dir / "in.wav";
  std::vector<float> samples(3000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.3f * std::sin(0.01f * static_cast<float>(i));
  WriteAudio(in, 2, 48000, samples, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  const Outcome run = Plughost({"render", "--dry", "--in", in.string(), "--out", (Dir / "dry.wav").string()});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const Audio dry = ReadAudio(Dir / "dry.wav");
  EXPECT_EQ(dry.Rate, 48000);
  EXPECT_EQ(dry.Samples, samples);
  for (const auto &args : std::vector<std::vector<std::string>>{{"render", "--dry", "DelayEffect()"}, {"render"}}) {
    const Outcome wrong = Plughost(args);
    EXPECT_EQ(wrong.Status, 2);
    EXPECT_NE(wrong.Err.find("EFFECT chain or --dry"), std::string::npos) << wrong.Err;
  }
}

// ----- never lose a file ------------------------------------------------------------------------

TEST_F(CommandLine, TheInputIsNeverOverwrittenWhateverTheSpelling) {
  const fs::path in = Tone("in.wav");
  const std::string before = Slurp(in);
  fs::create_directories(Dir / "sub");
  fs::create_symlink(in, Dir / "link.wav");
  fs::create_hard_link(in, Dir / "hard.wav");
  for (const fs::path &out : {in, Dir / "sub" / ".." / "in.wav", Dir / "link.wav", Dir / "hard.wav"}) {
    const Outcome run = Plughost({"render", "--in", in.string(), "--out", out.string(), "DelayEffect(10, 0.5, 0.5)"});
    EXPECT_EQ(run.Status, 1) << out;
    EXPECT_NE(run.Err.find("it is the input file"), std::string::npos) << run.Err;
    EXPECT_EQ(Slurp(in), before) << out;
  }
}

std::vector<std::string> Leftovers(const fs::path &dir, const std::string &keep) {
  std::vector<std::string> names;
  for (const auto &entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("." + keep, 0) == 0) names.push_back(name);
  }
  return names;
}

TEST_F(CommandLine, AnExistingOutputIsReplacedOnlyByACompletedRender) {
  const fs::path in = Tone("in.wav");
  const fs::path out = Dir / "out.wav";
  std::ofstream(out) << "the old content";
  // A render that fails while writing: files may grow to 64 KiB only, and
  // the signal for exceeding that is ignored, so the write itself fails.
  const Outcome failed = Plughost({"render", "--in", in.string(), "--out", out.string(), "DelayEffect(10, 0.5, 0.5)"},
                                  "", "ulimit -f 64; trap '' XFSZ");
  EXPECT_EQ(failed.Status, 1) << failed.Err;
  EXPECT_NE(failed.Err.find("cannot write " + out.string()), std::string::npos) << failed.Err;
  EXPECT_EQ(Slurp(out), "the old content");
  EXPECT_EQ(Leftovers(Dir, "out.wav"), std::vector<std::string>{}) << "the temporary file is removed";

  fs::permissions(out, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  const Outcome completed = Plughost({"render", "--in", in.string(), "--out", out.string(), "DelayEffect(10, 0.5, 0.5)"});
  ASSERT_EQ(completed.Status, 0) << completed.Err;
  EXPECT_EQ(ReadAudio(out).Frames(), 22050u + 44100u);
  EXPECT_EQ(fs::status(out).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read)
      << "the replaced file's permissions";
  const fs::path fresh = Dir / "fresh.wav";
  ASSERT_EQ(Plughost({"render", "--in", in.string(), "--out", fresh.string(), "DelayEffect()"}).Status, 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(fs::status(fresh).permissions(), static_cast<fs::perms>(0666 & ~mask)) << "as the umask gives";

  // Through a link, the file it names is replaced and the link stays.
  const fs::path link = Dir / "link.wav";
  fs::create_symlink(out, link);
  ASSERT_EQ(Plughost({"render", "--in", in.string(), "--out", link.string(), "GraphicEqualizer()"}).Status, 0);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadAudio(out).Frames(), 22050u);
}

TEST_F(CommandLine, AnInterruptedRenderLeavesTheOldOutput) {
  const fs::path out = Dir / "out.wav";
  std::ofstream(out) << "the old content";
  // An endless echo with a tail of 2^32-1 ms, capped at a day: long enough
  // to be interrupted.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDERR_FILENO);
    ::execl(PLUGHOST_PATH, PLUGHOST_PATH, "render", "--max-tail", "86400", "--out", out.c_str(),
            "DelayEffect(300, 1.0, 0.5, -1)", static_cast<char *>(nullptr));
    ::_exit(127);
  }
  // Wait until the render writes its temporary file, then interrupt it.
  bool writing = false;
  for (int i = 0; i < 500 && !writing; ++i) {
    ::usleep(20000);
    writing = !Leftovers(Dir, "out.wav").empty();
  }
  EXPECT_TRUE(writing);
  ::usleep(100000);
  ::kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_EQ(Slurp(out), "the old content");
  EXPECT_EQ(Leftovers(Dir, "out.wav"), std::vector<std::string>{});
}

// ----- limits and write errors --------------------------------------------------------------------

TEST_F(CommandLine, RendersBeyondWhatTheEngineDoesAreRefusedWithOneLine) {
  const fs::path in = Tone("in.wav");
  // WAV headers claiming rates the engine does not play (libsndfile writes
  // no such rate itself). 1 MHz rather than the 2 GHz of the report: a
  // renderer without the check renders it quickly instead of for hours.
  auto header = [&](const std::string &name, uint32_t rate) {
    std::string bytes = "RIFF";
    auto put32 = [&bytes](uint32_t v) { for (int i = 0; i < 4; ++i) bytes += static_cast<char>(v >> (8 * i)); };
    auto put16 = [&bytes](uint16_t v) { bytes += static_cast<char>(v); bytes += static_cast<char>(v >> 8); };
    put32(36 + 200);
    bytes += "WAVEfmt ";
    put32(16); put16(1); put16(1); put32(rate); put32(rate * 2); put16(2); put16(16);
    bytes += "data";
    put32(200);
    bytes += std::string(200, '\0');
    std::ofstream(Dir / name, std::ios::binary) << bytes;
    return (Dir / name).string();
  };
  const std::string out = (Dir / "x.wav").string();
  struct Case {
    std::vector<std::string> args;
    const char *message;
  } cases[] = {
      {{"render", "--block", "1048577", "--out", out, "DelayEffect()"}, "--block must be between 1 and 1048576 frames"},
      {{"render", "--block", "2147483648", "--out", out, "DelayEffect()"}, "--block must be between"},
      {{"render", "--in", header("mhz.wav", 1000000u), "--out", out, "DelayEffect()"},
       "sample rate 1000000 Hz is outside what the engine plays (8000 to 384000 Hz)"},
      {{"render", "--in", header("low.wav", 4000), "--out", out, "DelayEffect()"}, "sample rate 4000 Hz is outside"},
      {{"render", "--max-tail", "-1", "--out", out, "DelayEffect()"}, "--max-tail must be between"},
      {{"render", "--gain", "nan", "--out", out, "DelayEffect()"}, "--gain must be between"},
      {{"response", "--out", (Dir / "r.jpg").string()}, "--out must end in .png or .svg"},
      {{"impulse", "--out", (Dir / "i.gif").string(), "DelayEffect()"}, "--out must end in .png or .svg"},
  };
  for (const auto &c : cases) {
    const Outcome run = Plughost(c.args);
    EXPECT_EQ(run.Status, 1) << c.message;
    EXPECT_NE(run.Err.find(c.message), std::string::npos) << run.Err;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
  }
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(CommandLine, TheTailIsCappedAndTheCutIsReported) {
  // 8000 Hz mono, so that even the default cap of ten minutes renders quickly.
  const fs::path in = Dir / "in.wav";
  WriteAudio(in, 1, 8000, std::vector<float>(800, 0.25f), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  const std::string endless = "DelayEffect(100, 1.0, 0.5, -1)";  // a tail of 2^32-1 ms
  struct Case {
    std::vector<std::string> extra;
    size_t tailFrames;
  } cases[] = {{{"--max-tail", "2"}, 16000}, {{}, 600u * 8000}};
  for (const auto &c : cases) {
    std::vector<std::string> args = {"render", "--in", in.string(), "--out", (Dir / "o.wav").string()};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    args.push_back(endless);
    const Outcome run = Plughost(args);
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(ReadAudio(Dir / "o.wav").Frames(), 800 + c.tailFrames);
    EXPECT_NE(run.Err.find("the tail was cut after " + std::to_string(c.tailFrames / 8000) + " s"), std::string::npos)
        << run.Err;
  }
  // A tail that ends inside the cap is not reported as cut.
  const Outcome whole = Plughost({"render", "--in", in.string(), "--max-tail", "2", "--out", (Dir / "o.wav").string(),
                                  "DelayEffect(100, 0.5, 0.5, 2000)"});
  EXPECT_EQ(ReadAudio(Dir / "o.wav").Frames(), 800u + 16000u);
  EXPECT_EQ(whole.Err.find("cut"), std::string::npos) << whole.Err;
}

TEST_F(CommandLine, AWavThatMayOutgrowFourGibibytesIsWrittenSoThatItsSizesNeverWrap) {
  // A day of tail allowed: the render might exceed 4 GiB, so it is written
  // as RF64, which libsndfile turns into a plain WAV when it fits after all.
  const fs::path in = Tone("in.wav");
  const Outcome run = Plughost({"render", "--in", in.string(), "--max-tail", "86400", "--out",
                                (Dir / "o.wav").string(), "DelayEffect(10, 0.5, 0.5)"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(Slurp(Dir / "o.wav").substr(0, 4), "RIFF");
  EXPECT_EQ(ReadAudio(Dir / "o.wav").Frames(), 22050u + 44100u);
  const Outcome aiff = Plughost({"render", "--in", in.string(), "--max-tail", "86400", "--out",
                                 (Dir / "o.aiff").string(), "DelayEffect(10, 0.5, 0.5)"});
  EXPECT_EQ(aiff.Status, 1);
  EXPECT_NE(aiff.Err.find("may exceed the 4 GiB that AIFF can hold"), std::string::npos) << aiff.Err;
}

TEST_F(CommandLine, WriteErrorsOnStandardOutputGiveANonZeroStatus) {
  const fs::path file = Dir / "f.txt";
  std::ofstream(file) << "some bytes";
  const Outcome storage =
      Plughost({"storage", "--map", "a=file://" + file.string(), "read", "proxy://a"}, "/dev/full");
  EXPECT_EQ(storage.Status, 1);
  EXPECT_NE(storage.Err.find("cannot write to standard output"), std::string::npos) << storage.Err;
  const Outcome render = Plughost({"render", "--out", "-", "DelayEffect()"}, "/dev/full");
  EXPECT_EQ(render.Status, 1);
  EXPECT_NE(render.Err.find("cannot write to standard output"), std::string::npos) << render.Err;
}

TEST_F(CommandLine, ResponseSpansAtLeastTwelveDecibelsAndMarksTheTenBandsWithTheirGains) {
  // An SVG is text: the tick labels and the band labels can be read back.
  struct Case {
    const char *gains;
    std::vector<std::string> labels;
  } cases[] = {
      {"1,1,1,1,1,1,1,1,1,1", {">+10 dB<", ">-10 dB<", ">+0.0 dB<"}},  // flat: still +-12 dB high
      {"1,1,1,1,1,4,1,1,1,0", {">+12.0 dB<", ">cut<"}},
  };
  const char *const bands[] = {"31.5 Hz", "63 Hz", "125 Hz", "250 Hz", "500 Hz",
                               "1000 Hz", "2000 Hz", "4000 Hz", "8000 Hz", "16000 Hz"};
  for (const auto &c : cases) {
    const fs::path svg = Dir / "response.svg";
    const Outcome run = Plughost({"response", "--gains", c.gains, "--out", svg.string()});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const std::string drawing = Slurp(svg);
    ASSERT_NE(drawing.find("<svg"), std::string::npos);
    for (const std::string &label : c.labels) EXPECT_NE(drawing.find(label), std::string::npos) << c.gains << " " << label;
    for (const char *band : bands) EXPECT_NE(drawing.find(std::string(">") + band + "<"), std::string::npos) << band;
  }
}

// ----- see: the impulse response ------------------------------------------------------------------

TEST_F(CommandLine, ImpulsePlotsTheResponseAndItsDecayWithTheTimeToFallSixtyDecibels) {
  // Echoes every 100 ms at half the previous level (energy x 1/4): the
  // energy left falls below -60 dB just after the ninth echo, at 0.9 s.
  const fs::path png = Dir / "impulse.png";
  const Outcome run = Plughost({"impulse", "--out", png.string(), "DelayEffect(100, 0.5, 1.0)"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Err.find("falls 60 dB in 0.900 s"), std::string::npos) << run.Err;
  EXPECT_EQ(Slurp(png).substr(1, 3), "PNG");
  std::ifstream data(png.string() + ".dat");
  std::string line;
  int rows = 0;
  double lowest = 0, firstEcho = 0;
  while (std::getline(data, line)) {
    if (line.empty() || line[0] == '#') continue;
    double t, amplitude, energy;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf %lf %lf", &t, &amplitude, &energy), 3) << line;
    if (std::fabs(t - 0.1) < 0.001) firstEcho = std::max(firstEcho, amplitude);  // rows may be thinned
    lowest = std::min(lowest, energy);
    ++rows;
  }
  EXPECT_GT(rows, 10000) << "the response up to where it falls silent";
  EXPECT_FLOAT_EQ(firstEcho, 0.5f);
  EXPECT_LT(lowest, -60);

  const Outcome svg = Plughost({"impulse", "--rate", "48000", "--out", (Dir / "reverb.svg").string(), "StkFreeVerb()"});
  ASSERT_EQ(svg.Status, 0) << svg.Err;
  EXPECT_NE(Slurp(Dir / "reverb.svg").find("<svg"), std::string::npos);
  EXPECT_NE(svg.Err.find("falls 60 dB in "), std::string::npos) << svg.Err;
}

}  // namespace
