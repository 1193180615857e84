#pragma once
// Sound for the audio tests: sine tones, sample bytes, and the dominant
// frequency of a signal (the shared Goertzel ear, independent of every codec).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

#include "support/sound_check.h"

namespace lumivex::test {

inline std::vector<int16_t> Sine(double hz, int rate, std::size_t samples, double amplitude = 8000, std::size_t phase = 0) {
  std::vector<int16_t> out(samples);
  for (std::size_t i = 0; i < samples; ++i)
    out[i] = static_cast<int16_t>(amplitude * std::sin(2 * std::numbers::pi * hz * double(i + phase) / rate));
  return out;
}

inline std::string Bytes(const int16_t* samples, std::size_t count) {
  return std::string(reinterpret_cast<const char*>(samples), count * sizeof(int16_t));
}

inline std::vector<int16_t> Samples(std::string_view bytes) {
  std::vector<int16_t> out(bytes.size() / 2);
  std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}

// Every second sample: the left channel of interleaved stereo.
inline std::vector<int16_t> Left(const std::vector<int16_t>& stereo) {
  std::vector<int16_t> out;
  for (std::size_t i = 0; i < stereo.size(); i += 2) out.push_back(stereo[i]);
  return out;
}

// The strongest of the frequencies 100, 125, ... Hz below half the rate,
// after skipping the first samples (a decoder's start-up).
inline double DominantFrequency(const std::vector<int16_t>& s, int rate, std::size_t skip = 0) {
  const std::vector<int16_t> tail(s.begin() + static_cast<std::ptrdiff_t>(std::min(skip, s.size())), s.end());
  return DominantHz(tail, rate, 100, rate / 2.0 - 75, 25);
}

inline double Rms(const std::vector<int16_t>& s, std::size_t from = 0) {
  double sum = 0;
  for (std::size_t i = from; i < s.size(); ++i) sum += double(s[i]) * s[i];
  return s.size() > from ? std::sqrt(sum / double(s.size() - from)) : 0;
}

}  // namespace lumivex::test
