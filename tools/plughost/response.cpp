// response.cpp — `plughost response`: the equalizer's magnitude response
// measured through the real plug-in (sines through Decode) and plotted with
// gnuplot against the response its band formulas predict.
#include <algorithm>
#include <cctype>
#include <iomanip>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "commands.h"
#include "session.h"
#include "sound.h"

namespace plughost {

namespace {

constexpr double kPi = 3.141592653589793;
const double kBandHz[10] = {31.5, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};

// The response the equalizer's formulas predict at `hz`: the input plus each
// band's contribution, each band an allpass section (first order for the
// shelves, second order for the peaks) weighted by half its gain change.
// Bands the rate cannot carry (tangent or centre frequency at half the rate
// or above) are left out, as the equalizer leaves them flat.
double PredictedDb(const std::vector<double> &gains, double rate, double hz) {
  const std::complex<double> z1 = std::polar(1.0, -2 * kPi * hz / rate);  // z^-1
  std::complex<double> h = 1.0;
  for (int band = 0; band < 10; ++band) {
    const double f = kBandHz[band];
    const bool shelf = band == 0 || band == 9;
    const double tangentHz = shelf ? f : 2 * f / 3;
    if (tangentHz >= rate / 2 || f >= rate / 2) continue;
    // Gains outside -80..+80 dB are designed at the limit; NaN leaves the band flat.
    const double g = std::isnan(gains[band]) ? 1.0 : std::clamp(gains[band], 1e-4, 1e4);
    const double k = static_cast<float>(std::tan(kPi * tangentHz / rate));
    double c;
    if (g > 1.0) c = (k - 1) / (k + 1);
    else if (band == 9) c = (g * k - 1) / (g * k + 1);
    else c = (k - g) / (k + g);
    const double half = (g - 1) * 0.5;
    if (shelf) {
      const std::complex<double> a = (c + z1) / (1.0 + c * z1);
      h += half * (band == 0 ? 1.0 + a : 1.0 - a);
    } else {
      const double d = -(1 - c) * std::cos(2 * kPi * f / rate);
      const std::complex<double> a = (-c + d * z1 + z1 * z1) / (1.0 + d * z1 - c * z1 * z1);
      h += half * (1.0 - a);
    }
  }
  return 20 * std::log10(std::abs(h));
}

// Peak of the last second of a sine at `hz` after the equalizer, in dB
// against the input's amplitude.
double MeasuredDb(Session &session, const ResponseOptions &o, double hz) {
  const unsigned frames = o.Rate * 3;  // two seconds to settle, one to measure
  const double amplitude = 0.25;
  std::vector<float> samples(frames);
  for (unsigned i = 0; i < frames; ++i)
    samples[i] = static_cast<float>(amplitude * std::sin(2 * kPi * hz * i / o.Rate));
  standin::MemorySource source = standin::MemorySource::OfFloats(o.Rate, 1, samples);
  EffectExpression e;
  e.ClassName = "GraphicEqualizer";
  for (double g : o.Gains) {
    Value v;
    v.Type = Value::Real;
    v.RealValue = g;
    e.ConstructorArguments.push_back(v);
  }
  standin::SoundBuffer buffer(source);
  buffer.AddFilterByInterface(session.InterfaceOf(session.CreateEffect(e)));
  const std::vector<float> out = buffer.Play(4096).Floats();
  double peak = 0;
  for (size_t i = out.size() - o.Rate; i < out.size(); ++i) peak = std::max(peak, std::fabs(double(out[i])));
  return 20 * std::log10(std::max(peak, 1e-12) / amplitude);
}

}  // namespace

std::string GnuplotQuoted(const std::string &text) {
  std::string out = "'";
  for (char c : text) out += (c == '\'') ? std::string("''") : std::string(1, c);
  return out + "'";
}

std::string PlotTerminal(const std::string &out) {
  const size_t dot = out.find_last_of('.');
  std::string ext = dot == std::string::npos ? "" : out.substr(dot);
  for (char &c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".png") return "pngcairo size 900,500 font 'sans,10'";
  if (ext == ".svg") return "svg size 900,500 font 'sans,10'";
  throw Failure("cannot draw " + out + ": --out must end in .png or .svg");
}

void RunGnuplot(const std::string &script, const std::string &out) {
  FILE *gnuplot = popen("gnuplot", "w");
  if (!gnuplot) throw Failure("cannot run gnuplot");
  std::fwrite(script.data(), 1, script.size(), gnuplot);
  if (pclose(gnuplot) != 0) throw Failure("gnuplot failed to draw " + out);
}

int Response(const ResponseOptions &o) {
  if (o.Out.empty()) throw Failure("--out FILE.png is required");
  const std::string terminal = PlotTerminal(o.Out);
  if (o.Gains.size() != 10) throw Failure("--gains takes ten values, bands 31.5 Hz to 16 kHz");
  if (o.Rate < 8000 || o.Rate > 384000) throw Failure("--rate must be between 8000 and 384000 Hz");
  Session session(o.Plugin, false, false);
  const std::string data = o.Out + ".dat";
  double low = 0, high = 0;
  {
    std::ofstream table(data);
    if (!table) throw Failure("cannot write " + data);
    table << "# Hz measured_dB predicted_dB\n";
    const double top = o.Rate * 0.45;
    for (int i = 0; i <= 60; ++i) {
      const double hz = 20.0 * std::pow(top / 20.0, i / 60.0);
      const double measured = MeasuredDb(session, o, hz), predicted = PredictedDb(o.Gains, o.Rate, hz);
      low = std::min({low, measured, predicted});
      high = std::max({high, measured, predicted});
      table << hz << ' ' << measured << ' ' << predicted << '\n';
    }
    if (!table.flush()) throw Failure("cannot write " + data);
  }
  session.Close();
  // At least +-12 dB, so that a flat or gentle curve does not fill the plot
  // with noise-sized wiggles; a few dB of room beyond the curve otherwise.
  const double bottom = std::min(-12.0, std::floor((low - 3) / 6) * 6);
  const double ceiling = std::max(12.0, std::ceil((high + 3) / 6) * 6);
  std::ostringstream script;
  script << "set terminal " << terminal << "\n"
         << "set output " << GnuplotQuoted(o.Out) << "\n"
         << "set title 'GraphicEqualizer magnitude response at " << o.Rate << " Hz'\n"
         << "set logscale x\nset grid\nset xlabel 'frequency (Hz)'\nset ylabel 'gain (dB)'\n"
         << "set format y '%+g dB'\nset key bottom right box opaque\n"
         << "set xrange [20:" << o.Rate / 2 << "]\nset yrange [" << bottom << ":" << ceiling << "]\n";
  // Each band: a dashed mark at its frequency, labelled with the frequency
  // and its gain in dB (a double-quoted gnuplot string, for the line break).
  for (int band = 0; band < 10; ++band) {
    if (kBandHz[band] >= o.Rate / 2.0) continue;
    const double g = o.Gains[band];
    std::ostringstream label;
    label << kBandHz[band] << " Hz\\n" << std::fixed << std::setprecision(1);
    if (g > 0) label << std::showpos << 20 * std::log10(g) << " dB";
    else label << "cut";
    script << "set arrow from " << kBandHz[band] << ", graph 0 to " << kBandHz[band]
           << ", graph 1 nohead dashtype 3 lc rgb 'gray50'\n"
           << "set label \"" << label.str() << "\" at " << kBandHz[band] << ", graph 0.94 center font ',7'\n";
  }
  script << "plot " << GnuplotQuoted(data) << " using 1:3 with lines lw 2 title 'predicted by the band formulas', "
         << GnuplotQuoted(data) << " using 1:2 with points pt 7 ps 0.8 title 'measured through the plug-in'\n";
  RunGnuplot(script.str(), o.Out);
  std::cerr << "plughost: wrote " << o.Out << " (data in " << data << ")\n";
  return 0;
}

}  // namespace plughost
