// impulse.cpp — `plughost impulse`: the impulse response of a chain of
// effects through the real plug-in, and its energy decay (backward
// integration of the squared response) with the time it takes to fall
// 60 dB; plotted with gnuplot, the data beside the plot.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "commands.h"
#include "session.h"
#include "sound.h"

namespace plughost {

namespace {

// Rows of the data file at most: longer responses are thinned, each row
// keeping the largest sample of the frames it stands for.
constexpr size_t kMostRows = 20000;
// A response is drawn up to its last sample above this level.
constexpr float kSilence = 1e-7f;

// The chain's response to one full-scale mono sample followed by silence.
std::vector<float> RenderImpulse(Session &session, const ImpulseOptions &o, unsigned &channels) {
  const size_t frames = static_cast<size_t>(o.MaxSeconds * o.Rate);
  std::vector<float> input(std::max<size_t>(frames, 1), 0.0f);
  input[0] = 1.0f;
  standin::MemorySource source = standin::MemorySource::OfFloats(o.Rate, 1, input);
  standin::SoundBuffer buffer(source);
  for (const auto &text : o.Effects)
    buffer.AddFilterByInterface(session.InterfaceOf(session.CreateEffect(ParseEffect(text))));
  standin::PlayedSound played = buffer.Play(4096);
  channels = played.Format.Channels;
  std::vector<float> out = played.Floats();
  // Only as much as sounds (and never beyond the time asked for).
  size_t last = 0;
  for (size_t i = 0; i < out.size(); ++i)
    if (std::fabs(out[i]) > kSilence) last = i / channels;
  out.resize(std::min(last + 1, frames) * channels);
  return out;
}

}  // namespace

std::vector<double> EnergyDecayDb(const std::vector<float> &samples, unsigned channels) {
  const size_t frames = channels ? samples.size() / channels : 0;
  std::vector<double> remaining(frames);
  double sum = 0;
  for (size_t n = frames; n-- > 0;) {
    for (unsigned c = 0; c < channels; ++c) sum += double(samples[n * channels + c]) * samples[n * channels + c];
    remaining[n] = sum;
  }
  for (double &r : remaining) r = sum > 0 && r > 0 ? 10 * std::log10(r / sum) : -std::numeric_limits<double>::infinity();
  return remaining;
}

double TimeToFall60Db(const std::vector<double> &decayDb, unsigned rate) {
  for (size_t n = 0; n < decayDb.size(); ++n)
    if (decayDb[n] <= -60.0) return static_cast<double>(n) / rate;
  return -1;
}

int Impulse(const ImpulseOptions &o) {
  if (o.Out.empty()) throw Failure("--out FILE.png is required");
  const std::string terminal = PlotTerminal(o.Out);
  if (o.Rate < kLowestRate || o.Rate > kHighestRate)
    throw Failure("--rate must be between " + std::to_string(kLowestRate) + " and " + std::to_string(kHighestRate) +
                  " Hz");
  if (!(o.MaxSeconds > 0) || o.MaxSeconds > 600) throw Failure("--seconds must be above 0 and at most 600");
  for (const auto &text : o.Effects) ParseEffect(text);  // malformed expressions first

  Session session(o.Plugin, false, false);
  unsigned channels = 0;
  const std::vector<float> response = RenderImpulse(session, o, channels);
  session.Close();
  const std::vector<double> decay = EnergyDecayDb(response, channels);
  const double t60 = TimeToFall60Db(decay, o.Rate);
  const size_t frames = decay.size();

  const std::string data = o.Out + ".dat";
  {
    std::ofstream table(data);
    if (!table) throw Failure("cannot write " + data);
    table << "# time_s";
    for (unsigned c = 0; c < channels; ++c) table << " channel" << c;
    table << " energy_left_dB\n" << std::setprecision(7);
    const size_t step = std::max<size_t>(1, (frames + kMostRows - 1) / kMostRows);
    for (size_t n = 0; n < frames; n += step) {
      table << static_cast<double>(n) / o.Rate;
      for (unsigned c = 0; c < channels; ++c) {
        float peak = 0;  // the sample of largest magnitude in the rows's frames
        for (size_t k = n; k < std::min(n + step, frames); ++k)
          if (std::fabs(response[k * channels + c]) > std::fabs(peak)) peak = response[k * channels + c];
        table << ' ' << peak;
      }
      table << ' ' << (std::isfinite(decay[n]) ? decay[n] : -200.0) << '\n';
    }
    if (!table.flush()) throw Failure("cannot write " + data);
  }

  std::ostringstream chain;
  for (size_t i = 0; i < o.Effects.size(); ++i) chain << (i ? " -> " : "") << o.Effects[i];
  std::ostringstream verdict;
  verdict << std::fixed << std::setprecision(3);
  if (t60 >= 0) verdict << "falls 60 dB in " << t60 << " s";
  else verdict << "does not fall 60 dB within " << static_cast<double>(frames) / o.Rate << " s";

  const double length = std::max(static_cast<double>(frames) / o.Rate, 0.01);
  std::ostringstream script;
  script << "set terminal " << terminal << "\n"
         << "set output " << GnuplotQuoted(o.Out) << "\n"
         << "set multiplot layout 2,1 title " << GnuplotQuoted("impulse response of " + chain.str() + " at " +
                                                                std::to_string(o.Rate) + " Hz")
         << "\nset grid\nset xrange [0:" << length << "]\nset xlabel 'time (s)'\n"
         << "set ylabel 'amplitude'\nplot ";
  for (unsigned c = 0; c < channels; ++c)
    script << (c ? ", " : "") << GnuplotQuoted(data) << " using 1:" << c + 2 << " with lines title 'channel " << c
           << "'";
  script << "\nset ylabel 'energy left (dB)'\nset format y '%g dB'\nset yrange [-90:3]\n"
         << "set arrow from graph 0, first -60 to graph 1, first -60 nohead dashtype 2 lc rgb 'red'\n";
  if (t60 >= 0)
    script << "set arrow from " << t60 << ", graph 0 to " << t60 << ", graph 1 nohead dashtype 2 lc rgb 'red'\n";
  script << "plot " << GnuplotQuoted(data) << " using 1:" << channels + 2 << " with lines lw 2 title "
         << GnuplotQuoted("energy decay: " + verdict.str()) << "\nunset multiplot\n";
  RunGnuplot(script.str(), o.Out);
  std::cerr << "plughost: wrote " << o.Out << " (data in " << data << "); the response " << verdict.str() << '\n';
  return 0;
}

}  // namespace plughost
