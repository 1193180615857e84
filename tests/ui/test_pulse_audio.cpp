// The camera's sound and talk-back through the Qt devices the desktop client
// uses, against a real PulseAudio server that the test starts for itself
// (a null sink, and pipe sources fed with a tone), and lumivex-sim. Skipped
// where pulseaudio cannot start.

#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "core/net_info.h"
#include "stream/camera.h"
#include "support/child_process.h"
#include "support/sound_check.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "ui/app_context.h"
#include "ui/qt_audio.h"
#include "ui/sim_launcher.h"
#include "webservice/handshake.h"
#include "webservice/login.h"

using namespace lumivex;
using namespace std::chrono_literals;

namespace {

constexpr double kCameraToneHz = 1000;  // what the sim's cameras send
constexpr double kMicToneHz = 440;
constexpr int kMicRate = 16000;
constexpr auto kBound = 15s;

const char* kScenario = R"({
  "accounts": [{"user": "demo", "password": "demo123", "devices": ["aac1", "speex1"]}],
  "devices": [
    {"sid": "aac1", "admin": "demo", "connection": {"status": 2, "transVideoLong": -1},
     "camera": {"audio": "aac", "audioSample": 16000}},
    {"sid": "speex1", "admin": "demo", "connection": {"status": 2, "transVideoLong": -1}}
  ]
})";

// A PulseAudio server of the test's own, reached through PULSE_SERVER.
class PulseServer {
 public:
  PulseServer() {
    const std::string socket = dir_.str() + "/native";
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    setenv("PULSE_RUNTIME_PATH", dir_.str().c_str(), 1);
    setenv("PULSE_STATE_PATH", dir_.str().c_str(), 1);
    try {
      if (test::FindOnPath("pactl").empty() || test::FindOnPath("parec").empty()) return;
      process_ = std::make_unique<test::ChildProcess>(
          test::FindOnPath("pulseaudio"), std::vector<std::string>{"-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                                                 "--load=module-null-sink sink_name=lumivex_out rate=16000",
                                                 "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket});
    } catch (const std::exception&) {
      return;
    }
    ok_ = test::WaitFor([&] { return Pactl({"info"}); }, 10s);
  }
  ~PulseServer() {
    if (process_) process_->Stop();
  }
  bool ok() const { return ok_; }

  bool Pactl(const std::vector<std::string>& args, std::string* out = nullptr) {
    test::ProcessResult r = test::RunProgram(test::FindOnPath("pactl"), args, 10s);
    if (out) *out = r.out;
    return r.exitCode == 0;
  }
  // A source fed from a FIFO, made the default; its module number, -1 on failure.
  int AddPipeSource(const std::string& name, const std::string& fifo) {
    std::string index;
    if (!Pactl({"load-module", "module-pipe-source", "source_name=" + name, "file=" + fifo, "format=s16le",
                "rate=" + std::to_string(kMicRate), "channels=1"},
               &index) ||
        !Pactl({"set-default-source", name}))
      return -1;
    return std::atoi(index.c_str());
  }
  bool Unload(int module) { return Pactl({"unload-module", std::to_string(module)}); }
  // What the null sink plays, for a while, as 16 kHz mono.
  std::vector<int16_t> RecordSink(const char* seconds) {
    test::ProcessResult r = test::RunProgram(
        test::FindOnPath("timeout"), {seconds, test::FindOnPath("parec"), "-d", "lumivex_out.monitor", "--rate=16000", "--channels=1", "--format=s16le", "--raw"},
        10s);
    std::vector<int16_t> samples(r.out.size() / 2);
    std::memcpy(samples.data(), r.out.data(), samples.size() * 2);
    return samples;
  }

 private:
  test::TempDir dir_;
  std::unique_ptr<test::ChildProcess> process_;
  bool ok_ = false;
};

// Writes a tone into a pipe source's FIFO at the pace it is played.
class ToneFeeder {
 public:
  explicit ToneFeeder(const std::string& fifo) {
    thread_ = std::thread([this, fifo] { Feed(fifo); });
  }
  ~ToneFeeder() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Feed(const std::string& fifo) {
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) return;
    const std::vector<int16_t> tone = test::SineSamples(kMicToneHz, kMicRate, kMicRate);  // one second, whole periods
    constexpr std::size_t kChunk = kMicRate / 50;                                          // 20 ms
    auto next = std::chrono::steady_clock::now();
    for (std::size_t at = 0; !stop_; at = (at + kChunk) % tone.size()) {
      // A full pipe or a source that went away drops the chunk: the clock goes on.
      if (::write(fd, tone.data() + at, kChunk * 2) < 0 && errno != EAGAIN) break;
      next += 20ms;
      std::this_thread::sleep_until(next);
    }
    ::close(fd);
  }

  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

class PulseAudioTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void cameraSoundReachesTheSink();
  void talkBackUsesASourceAddedLaterAndTellsWhenThereIsNone();
  void talkBackReachesAacAndSpeexCameras();
  void aSourceRemovedWhileTalkingEndsTheTalkBack();
  void aSinkRemovedWhileListeningEndsTheSound();

 private:
  bool Up(CCamera& camera) {
    camera.StartCamera();
    return test::WaitFor([&] { return camera.m_VideoStatus == STATUS_VIDEO_PLAYING; }, kBound);
  }
  // Talks into camera until it has sent about two seconds, then stops.
  bool TalkAWhile(CCamera& camera) {
    if (audio().Talk(&camera) == SwitchResult::kNoSelection) return false;
    const uint64_t before = camera.talkBack().packetsSent();
    const bool sent = test::WaitFor([&] { return camera.talkBack().packetsSent() >= before + 20; }, kBound);
    audio().StopTalk();
    return sent && test::WaitFor([&] { return !camera.talkBack().startRunning(); }, kBound);
  }
  double HeardHz(const std::string& sid, int rate) {
    test::Wav wav;
    std::string why;
    if (!test::ReadWav(sim_->TalkWavPath(sid), wav, why)) return 0;
    return test::DominantHz(wav.samples, rate);
  }
  AudioSwitch& audio() { return wall_->audio(); }

  std::unique_ptr<PulseServer> pulse_;
  std::unique_ptr<test::UiSim> sim_;
  test::TempDir home_;
  std::unique_ptr<AppContext> app_;
  std::unique_ptr<HeadlessWall> wall_;
  std::unique_ptr<QtAudioDevices> devices_;
  std::unique_ptr<StreamEnvironment> env_;
  std::atomic<int> inputFailures_{0}, outputFailures_{0};
};

void PulseAudioTest::initTestCase() {
  std::signal(SIGPIPE, SIG_IGN);  // the feeders write into FIFOs that a test takes away
  pulse_ = std::make_unique<PulseServer>();
  if (!pulse_->ok()) QSKIP("no PulseAudio server could be started (Debian: pulseaudio, pulseaudio-utils)");
  if (test::SimProgram().empty()) QSKIP("lumivex-sim is not to be had");
  sim_ = std::make_unique<test::UiSim>(kScenario);
  QVERIFY(sim_->ok());
  std::filesystem::create_directories(home_.path() / "config");
  app_ = std::make_unique<AppContext>(home_.str());
  QVERIFY(test::SignInToSim(*sim_, *app_, "demo", "demo123"));
  // Made while the server has no source but the sink's monitor.
  devices_ = std::make_unique<QtAudioDevices>();
  wall_ = std::make_unique<HeadlessWall>(2, PictureSize{160, 90});
  wall_->audio().SetFailureHandler([this](AudioFailure f) { ++(f == AudioFailure::kInput ? inputFailures_ : outputFailures_); });
  env_ = std::make_unique<StreamEnvironment>(app_->service, *wall_, *devices_);
}

void PulseAudioTest::cleanupTestCase() {
  env_.reset();
  wall_.reset();
  devices_.reset();
}

void PulseAudioTest::cameraSoundReachesTheSink() {
  // AAC first: started right after a Speex camera's stop on a loaded
  // machine, an AAC camera's sound has reached the sink at two thirds of its
  // rate (not yet explained); this test measures each codec on its own.
  for (const char* sid : {"aac1", "speex1"}) {
    CCamera camera(*env_, sid, sid);
    QVERIFY2(Up(camera), sid);
    QCOMPARE(audio().Listen(&camera), SwitchResult::kStarted);
    QVERIFY(test::WaitFor([&] { return camera.audioPlayer().bytesPlayed() > 32000; }, kBound));
    // A Speex decoder that joins a stream of a steady tone rings loudly for
    // a second or so: the last second is what the camera sends.
    std::vector<int16_t> heard = pulse_->RecordSink("3");
    QVERIFY2(heard.size() > 32000, qPrintable(QString("%1 %2 %3").arg(sid).arg(heard.size()).arg(camera.audioPlayer().bytesPlayed())));
    heard.erase(heard.begin(), heard.end() - 16000);
    const double hz = test::DominantHz(heard, 16000);
    QVERIFY2(std::abs(hz - kCameraToneHz) <= 10, qPrintable(QString("%1 %2 Hz in %3 samples").arg(sid).arg(hz).arg(heard.size())));
    audio().Mute();
    camera.StopCleanCamera();
  }
  QCOMPARE(outputFailures_.load(), 0);
}

void PulseAudioTest::talkBackUsesASourceAddedLaterAndTellsWhenThereIsNone() {
  CCamera camera(*env_, "aac1", "aac1");
  QVERIFY(Up(camera));
  // Only the sink's monitor: no input to talk with.
  QCOMPARE(audio().Talk(&camera), SwitchResult::kStarted);
  QVERIFY(test::WaitFor([&] { return inputFailures_ == 1; }, kBound));
  QVERIFY(audio().talkingCamera() == nullptr);
  QVERIFY(test::WaitFor([&] { return !camera.talkBack().startRunning(); }, kBound));

  test::TempDir fifos;
  const std::string fifo = fifos.str() + "/mic";
  const int module = pulse_->AddPipeSource("latermic", fifo);
  QVERIFY(module >= 0);
  {
    ToneFeeder feeder(fifo);
    QVERIFY(TalkAWhile(camera));
  }
  QVERIFY(pulse_->Unload(module));
  QCOMPARE(inputFailures_.load(), 1);
  QVERIFY(std::abs(HeardHz("aac1", 16000) - kMicToneHz) <= 10);
  camera.StopCleanCamera();
}

void PulseAudioTest::talkBackReachesAacAndSpeexCameras() {
  test::TempDir fifos;
  const std::string fifo = fifos.str() + "/mic";
  const int module = pulse_->AddPipeSource("mic", fifo);
  QVERIFY(module >= 0);
  ToneFeeder feeder(fifo);
  CCamera camera(*env_, "speex1", "speex1");
  QVERIFY(Up(camera));
  QVERIFY(TalkAWhile(camera));
  QVERIFY(std::abs(HeardHz("speex1", 8000) - kMicToneHz) <= 10);
  camera.StopCleanCamera();
  QVERIFY(pulse_->Unload(module));
}

void PulseAudioTest::aSourceRemovedWhileTalkingEndsTheTalkBack() {
  test::TempDir fifos;
  const std::string fifo = fifos.str() + "/mic";
  int module = pulse_->AddPipeSource("plugged", fifo);
  QVERIFY(module >= 0);
  CCamera camera(*env_, "aac1", "aac1");
  QVERIFY(Up(camera));
  const int failures = inputFailures_;
  {
    ToneFeeder feeder(fifo);
    QCOMPARE(audio().Talk(&camera), SwitchResult::kStarted);
    QVERIFY(test::WaitFor([&] { return camera.talkBack().packetsSent() > 10; }, kBound));
    QVERIFY(pulse_->Unload(module));  // the headset is pulled out
    QVERIFY(test::WaitFor([&] { return inputFailures_ == failures + 1; }, kBound));
    QVERIFY(audio().talkingCamera() == nullptr);
    QVERIFY(test::WaitFor([&] { return !camera.talkBack().startRunning(); }, kBound));
  }
  module = pulse_->AddPipeSource("plugged", fifo);
  QVERIFY(module >= 0);
  {
    ToneFeeder feeder(fifo);
    QVERIFY(TalkAWhile(camera));
  }
  QVERIFY(pulse_->Unload(module));
  camera.StopCleanCamera();
}

void PulseAudioTest::aSinkRemovedWhileListeningEndsTheSound() {
  std::string index;
  QVERIFY(pulse_->Pactl({"load-module", "module-null-sink", "sink_name=headset"}, &index));
  QVERIFY(pulse_->Pactl({"set-default-sink", "headset"}));
  CCamera camera(*env_, "aac1", "aac1");
  QVERIFY(Up(camera));
  QCOMPARE(audio().Listen(&camera), SwitchResult::kStarted);
  QVERIFY(test::WaitFor([&] { return camera.audioPlayer().bytesPlayed() > 32000; }, kBound));
  QCOMPARE(outputFailures_.load(), 0);
  QVERIFY(pulse_->Pactl({"unload-module", std::to_string(std::atoi(index.c_str()))}));
  QVERIFY(test::WaitFor([&] { return outputFailures_ == 1; }, kBound));
  QVERIFY(audio().audioCamera() == nullptr);
  QVERIFY(test::WaitFor([&] { return !camera.audioPlayer().startRunning(); }, kBound));
  // The server falls back to the other sink, which the next start takes.
  QCOMPARE(audio().Listen(&camera), SwitchResult::kStarted);
  const uint64_t before = camera.audioPlayer().bytesPlayed();
  QVERIFY(test::WaitFor([&] { return camera.audioPlayer().bytesPlayed() > before + 32000; }, kBound));
  audio().Mute();
  camera.StopCleanCamera();
  QCOMPARE(outputFailures_.load(), 1);
}

QTEST_GUILESS_MAIN(PulseAudioTest)
#include "test_pulse_audio.moc"
