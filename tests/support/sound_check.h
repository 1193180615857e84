#pragma once
// The test's own ear: tones encoded with libspeex and FFmpeg's AAC encoder
// (ADTS headers written here by hand), WAV files read by hand, and the
// dominant frequency of a sound by Goertzel's algorithm.

#include <cstdint>
#include <string>
#include <vector>

namespace lumivex::test {

// Mono 16-bit samples of a sine at hz.
std::vector<int16_t> SineSamples(double hz, int rate, std::size_t count, double amplitude = 8000);

// The frequency in [lowHz, highHz], in steps of stepHz, where the sound
// has the most energy.
double DominantHz(const std::vector<int16_t>& samples, int rate, double lowHz = 100, double highHz = 3900,
                  double stepHz = 5);

// Speex narrowband quality 4: 200-byte payloads of ten 20-byte frames.
std::vector<std::string> SpeexPayloads(const std::vector<int16_t>& samples8k);
std::vector<int16_t> DecodeSpeex(const std::vector<std::string>& payloads);

// AAC-LC mono frames of 1024 samples, each behind its ADTS header.
std::vector<std::string> AdtsFrames(const std::vector<int16_t>& samples, int rate);
std::vector<int16_t> DecodeAac(const std::vector<std::string>& frames);

// A talk-back packet as the client builds it: type, length, zeros, payload.
std::string TalkPacket(uint8_t type, const std::string& payload);

struct Wav {
  uint32_t riffSize = 0, fmtSize = 0, byteRate = 0, dataSize = 0;
  uint16_t format = 0, channels = 0, blockAlign = 0, bits = 0;
  uint32_t sampleRate = 0;
  std::size_t fileSize = 0;
  std::vector<int16_t> samples;  // what the data chunk's size covers
};
// A canonical 44-byte-header WAV file; false with why when it is not one.
bool ReadWav(const std::string& path, Wav& out, std::string& why);

}  // namespace lumivex::test
