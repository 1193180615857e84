#pragma once
// DeviceSession: one session to a camera, live or playback, on two threads
// of its own. The session thread negotiates through the opener, opens the
// frame ring and the decoder during the handshake, puts the owner's frame
// ticks on the display clock and starts the receive thread; it then sends
// keep-alive, control commands and applies the relay limits as timed events
// on the one wait of the connection's stop signal. The receive thread files
// video into the ring and hands sound to the owner. Stop wakes both at once
// and joins them; what the session opened is released after that.
//
// Threads and guards:
// - Start and Stop come from the owner, which keeps them apart.
// - The pending controls (pan/tilt, the one command) are guarded by
//   conn.stop.mutex(), the lock of the session thread's wait, so that a
//   request between its look and its sleep is not lost.
// - params_ is written by the session thread before the ticks and the
//   receive thread start; paramsMutex_ guards it for readers elsewhere.
// - ring_ and decoder_ are made by the session thread during the handshake,
//   used by the receive thread (the ring's producer) and the ticks (its
//   consumer and the decoder), and released by Stop after the threads have
//   been joined and the clock has let go of the ticks.
// - socketMutex_ keeps senders off the session threads (talk-back) away
//   from the sockets while Stop closes them.
// - failed_, clockId_ and controlsSent_ are atomics; soundPlaying is set
//   before the first Start.
// Lock order: socketMutex_, then conn.sendMutex (each whole packet);
// conn.stop.mutex() is held with neither; paramsMutex_ is innermost.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "device/connection.h"
#include "device/json_message.h"
#include "device/session_packet.h"
#include "device/stream_handshake.h"
#include "stream/display_clock.h"
#include "stream/frame_ring.h"
#include "stream/video_decoder.h"

namespace lumivex {

struct ServiceContext;

// How a session reaches its camera. The real one asks the service and runs
// the handshake; tests put their own in its place.
class SessionOpener {
 public:
  virtual ~SessionOpener() = default;
  // On success conn holds the open socket and the camera streams.
  virtual bool Open(DeviceConnection& conn, const ConnectRequest& request, StreamParameters& params,
                    const OpenDecoderStep& openDecoder) = 0;
};

class ServiceOpener : public SessionOpener {
 public:
  ServiceOpener(ServiceContext& ctx, std::string sid) : ctx_(ctx), sid_(std::move(sid)) {}
  bool Open(DeviceConnection& conn, const ConnectRequest& request, StreamParameters& params,
            const OpenDecoderStep& openDecoder) override;

 private:
  ServiceContext& ctx_;
  const std::string sid_;
};

// What the live view or the playback does with its session.
class SessionOwner {
 public:
  virtual ~SessionOwner() = default;
  // The handshake is done; false fails the session. Session thread.
  virtual bool SessionOpened(const StreamParameters& params) = 0;
  // Every frame interval on the display clock, from SessionOpened on.
  virtual void FrameTick(bool late) = 0;
  // Sound from the camera; false fails the session (a kind it cannot carry).
  virtual bool SoundArrived(const AudioPacket& packet) = 0;
  // The session failed (any session thread); it stays failed until Stop.
  virtual void SessionFailed() = 0;
  // Live relay sessions: the service's time limit struck, or the random cut.
  virtual void RelayTimeUp() {}
  virtual void RelayCut() {}
};

enum class SessionKind { kLive, kPlayback };

enum class PtzDirection { kLeft, kRight, kUp, kDown };

class DeviceSession {
 public:
  DeviceSession(SessionKind kind, ServiceContext& ctx, DisplayClock& clock, SessionOwner& owner);
  ~DeviceSession();
  DeviceSession(const DeviceSession&) = delete;
  DeviceSession& operator=(const DeviceSession&) = delete;

  // The opener outlives the session run. False when no thread could start.
  bool Start(SessionOpener& opener, ConnectRequest request);
  // Wakes every wait, joins both threads, takes the ticks off the clock and
  // closes the sockets; the session can then start again. The stop signal
  // stays requested until then.
  void Stop();

  // Controls, from any thread. Sent by the session thread, so the caller
  // never waits on the camera's socket.
  void RequestPanTilt(PtzDirection direction);
  bool panTiltPending(PtzDirection direction);
  // A command that replaces one not yet sent ("resetBitRate", "jump" ...).
  void PutCommand(JsonMessage message);
  // The "type", "cmd" and "umac" every control message starts with.
  JsonMessage Control(const char* cmd) const;
  // Talk-back's packets; false once the session is closing or closed.
  bool SendOnSocket(const std::string& packet);
  // Whether the camera's sound plays now: the live keep-alive holds the
  // sound while it does not. Set before Start; a change calls Notify.
  std::function<bool()> soundPlaying;

  // A session that has opened its socket and not yet stopped.
  bool open();
  DeviceConnection& connection() { return conn_; }
  StreamParameters parameters() const;
  // The ticks' (and, for the ring, the receive thread's) from SessionOpened.
  FrameRing* ring() { return ring_.get(); }
  VideoDecoder& decoder() { return decoder_; }
  // The ticks go before those of sessions waiting for a first picture.
  bool PromoteTicks() { return clock_.Promote(clockId_); }
  // The ticks run (from the handshake's end until Stop).
  bool ticking() const { return clockId_ != 0; }
  uint64_t controlsSent() const { return controlsSent_; }

 private:
  void SessionThread(SessionOpener& opener, const ConnectRequest& request);
  bool OpenDecoder(const StreamParameters& params);
  bool StartReceiving();
  void ReceiveLoop();
  void RunEvents();
  // The command and the pan/tilt requests that are due; false when a send failed.
  bool SendControls(bool panTilt, StopSignal::Clock::time_point& panTiltAt);
  bool Send(const JsonMessage& message);
  void Fail();

  const SessionKind kind_;
  ServiceContext& ctx_;
  DisplayClock& clock_;
  SessionOwner& owner_;

  DeviceConnection conn_;
  StreamParameters params_;
  mutable std::mutex paramsMutex_;
  std::unique_ptr<FrameRing> ring_;
  VideoDecoder decoder_;
  std::atomic<uint64_t> clockId_{0};
  std::atomic<bool> failed_{false};

  std::mutex socketMutex_;
  bool socketOpen_ = false;  // guarded by socketMutex_

  bool panTiltPending_[4] = {};           // guarded by conn_.stop.mutex(), by PtzDirection
  std::optional<JsonMessage> command_;    // guarded by conn_.stop.mutex()
  std::atomic<uint64_t> controlsSent_{0};

  std::thread session_, receiver_;
};

}  // namespace lumivex
