#include "sim/camera_config.h"

#include <algorithm>
#include <limits>
#include <initializer_list>
#include <iterator>
#include <string_view>

#include "sim/audio_clip.h"

namespace lumivex::sim {
namespace {

// Reads one member; the first failure stays in key/what.
class Members {
 public:
  Members(const Json::Value& v, std::string& key, std::string& what) : v_(v), key_(key), what_(what) {}
  bool ok() const { return what_.empty(); }
  void Fail(const std::string& key, const std::string& what) {
    if (!ok()) return;
    key_ = key;
    what_ = what;
  }

  void Int(const char* name, int& out, int min, int max) {
    if (!ok() || !v_.isMember(name)) return;
    const Json::Value& m = v_[name];
    if (!m.isInt() || m.asInt() < min || m.asInt() > max)
      return Fail(name, "expected an integer " + std::to_string(min) + " to " + std::to_string(max));
    out = m.asInt();
  }

  void Bool(const char* name, bool& out) {
    if (!ok() || !v_.isMember(name)) return;
    if (!v_[name].isBool()) return Fail(name, "expected true or false");
    out = v_[name].asBool();
  }

  // One of words; out receives its index.
  void Word(const char* name, std::initializer_list<const char*> words, int& out) {
    if (!ok() || !v_.isMember(name)) return;
    const Json::Value& m = v_[name];
    std::string list;
    int i = 0;
    for (const char* w : words) {
      if (m.isString() && m.asString() == w) {
        out = i;
        return;
      }
      list += (i++ ? ", \"" : "\"") + std::string(w) + "\"";
    }
    Fail(name, "expected one of " + list);
  }

 private:
  const Json::Value& v_;
  std::string& key_;
  std::string& what_;
};

constexpr std::string_view kKeys[] = {"width",          "height",        "bitRate",          "audio",
                                 "audioSample",    "listen",        "closeAfterSeconds", "dropFragment",
                                 "startOnNonKey",  "mediaBeforeReply", "neverAnswer",   "refuse",
                                 "traversal",      "helloFromOtherPort", "keepAliveTimeoutSeconds",
                                 "playbackGap",    "playbackStartSecond", "playbackAudioShiftMs", "firstFrameNumber",
                                 "garbageAfterSeconds", "absurdLengthAfterSeconds", "stallAfterSeconds",
                                 "replyDelayMs"};

}  // namespace

bool ParseCameraConfig(const Json::Value& value, CameraConfig& out, std::string& key, std::string& what) {
  key.clear();
  what.clear();
  if (!value.isObject()) {
    what = "expected an object";
    return false;
  }
  for (const std::string& name : value.getMemberNames()) {
    if (name.starts_with("_")) continue;
    if (std::find(std::begin(kKeys), std::end(kKeys), name) == std::end(kKeys)) {
      key = name;
      what = "unknown key";
      return false;
    }
  }
  CameraConfig c;
  Members m(value, key, what);
  int audio = 0, listen = 0, traversal = 0;
  m.Int("width", c.width, 16, 1920);
  m.Int("height", c.height, 16, 1088);
  m.Int("bitRate", c.bitRate, 16000, 20000000);
  m.Word("audio", {"speex", "aac", "none"}, audio);
  m.Int("audioSample", c.audioSample, 7350, 96000);
  m.Word("listen", {"own", "shared"}, listen);
  m.Int("closeAfterSeconds", c.closeAfterSeconds, 1, 86400);
  m.Int("keepAliveTimeoutSeconds", c.keepAliveTimeoutSeconds, 1, 86400);
  m.Int("playbackGap", c.playbackGap, 1, std::numeric_limits<int>::max());  // beyond a day only to be refused
  m.Int("playbackStartSecond", c.playbackStartSecond, 0, 3599);
  m.Int("playbackAudioShiftMs", c.playbackAudioShiftMs, -60000, 60000);
  m.Bool("startOnNonKey", c.startOnNonKey);
  m.Int("garbageAfterSeconds", c.garbageAfterSeconds, 1, 86400);
  m.Int("absurdLengthAfterSeconds", c.absurdLengthAfterSeconds, 1, 86400);
  m.Int("stallAfterSeconds", c.stallAfterSeconds, 1, 86400);
  m.Int("replyDelayMs", c.replyDelayMs, 0, 60000);
  if (value.isMember("firstFrameNumber")) {
    m.Int("firstFrameNumber", c.firstFrameNumber, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    c.fixedFirstFrame = true;
  }
  m.Bool("mediaBeforeReply", c.mediaBeforeReply);
  m.Bool("neverAnswer", c.neverAnswer);
  m.Bool("refuse", c.refuse);
  m.Word("traversal", {"answer", "hold", "silent"}, traversal);
  m.Bool("helloFromOtherPort", c.helloFromOtherPort);
  if (m.ok() && value.isMember("dropFragment")) {
    const Json::Value& drop = value["dropFragment"];
    std::string subKey, subWhat;
    Members d(drop, subKey, subWhat);
    if (!drop.isObject() || !drop.isMember("frame")) {
      m.Fail("dropFragment", "expected {\"frame\": N, \"index\": I}");
    } else {
      d.Int("frame", c.dropFrame, 0, 1 << 30);
      d.Int("index", c.dropFragment, 0, 1000);
      for (const std::string& name : drop.getMemberNames())
        if (!name.starts_with("_") && name != "frame" && name != "index") d.Fail(name, "unknown key");
      if (!d.ok()) m.Fail("dropFragment." + subKey, subWhat);
    }
  }
  if (m.ok() && (c.width % 2 || c.height % 2)) m.Fail(c.width % 2 ? "width" : "height", "expected an even number");
  if (m.ok() && AdtsRateIndex(c.audioSample) < 0) m.Fail("audioSample", "not an AAC sampling rate");
  if (!m.ok()) return false;
  c.audio = static_cast<CameraAudio>(audio);
  c.sharedPort = listen == 1;
  c.traversal = static_cast<TraversalAnswer>(traversal);
  out = c;
  return true;
}

}  // namespace lumivex::sim
