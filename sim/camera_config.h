#pragma once
// What a simulated camera streams and how it misbehaves: the "camera"
// object of a scenario device (sim/scenarios/README.md lists the keys).

#include <json/json.h>

#include <string>

namespace lumivex::sim {

enum class CameraAudio { kSpeex, kAac, kNone };
// How the traversal server answers a registration for this camera.
enum class TraversalAnswer { kPeerAddress, kHold, kSilent };

struct CameraConfig {
  int width = 640;
  int height = 360;
  int bitRate = 480000;
  CameraAudio audio = CameraAudio::kSpeex;
  int audioSample = 16000;  // AAC only
  bool sharedPort = false;  // on the sim's shared camera port instead of a listener of its own

  // > 0: hang up on a client that sends nothing (keep-alives come every
  // 5 s) for this long. Off by default: a client without the keep-alive
  // thread still gets its stream.
  int keepAliveTimeoutSeconds = 0;

  // Playback: the recording of any hour in the day list.
  int playbackGap = 3600;          // its length in seconds
  int playbackStartSecond = 0;     // where in the hour it starts
  int playbackAudioShiftMs = 0;    // added to the audio timestamps (AAC)

  // Fault knobs.
  int closeAfterSeconds = 0;   // > 0: send close this long after startup, then hang up
  int dropFrame = -1;          // >= 0: leave out one fragment of this frame of each stream (0 = first)
  int dropFragment = 0;        // which fragment of it
  bool startOnNonKey = false;  // the stream starts at the loop's second frame
  bool fixedFirstFrame = false;  // every stream numbers its frames from firstFrameNumber (wrapping round)
  int firstFrameNumber = 0;
  bool mediaBeforeReply = false;
  bool neverAnswer = false;    // read the connect message, never reply
  bool refuse = false;         // no listener: connecting is refused
  TraversalAnswer traversal = TraversalAnswer::kPeerAddress;
  bool helloFromOtherPort = false;  // hellos and the UDT connection from a port other than announced
  // > 0: this long after startup the stream goes bad and stays open.
  int garbageAfterSeconds = 0;       // random bytes that are no packet
  int absurdLengthAfterSeconds = 0;  // packet headers whose lengths no camera sends
  int stallAfterSeconds = 0;         // nothing more is sent; the client's packets are still read
  int replyDelayMs = 0;              // the connect reply waits this long
};

// Reads value into out. On failure key names the member at fault (empty
// for the object itself) and what says why.
bool ParseCameraConfig(const Json::Value& value, CameraConfig& out, std::string& key, std::string& what);

}  // namespace lumivex::sim
