#pragma once
// The client's talk-back as a camera hears it: the framing of its packets
// checked (Speex: ten 20-byte narrowband frames; AAC: whole ADTS frames of
// AAC-LC mono) and the sound decoded to 16-bit mono PCM, with one decoder
// per connection so that the codec's state runs on from packet to packet.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lumivex::sim {

inline constexpr int kSpeexTalkRate = 8000;

struct TalkSound {
  int sampleRate = 0;            // 0 when the packet held no frames
  std::vector<int16_t> samples;  // mono
};

class TalkDecoder {
 public:
  TalkDecoder();
  ~TalkDecoder();
  TalkDecoder(const TalkDecoder&) = delete;
  TalkDecoder& operator=(const TalkDecoder&) = delete;

  // False with why when the payload is not what the client sends.
  bool DecodeSpeex(std::string_view payload, TalkSound& out, std::string& why);
  bool DecodeAac(std::string_view payload, TalkSound& out, std::string& why);

 private:
  struct Speex;
  struct Aac;
  std::unique_ptr<Speex> speex_;  // opened at the first packet of each kind
  std::unique_ptr<Aac> aac_;
};

}  // namespace lumivex::sim
