#include "integration/stream_check.h"

#include <sstream>

namespace lumivex::test {

ConnectRun RunConnect(const std::vector<std::string>& options, const std::string& sid, int frames,
                      const std::vector<std::string>& launcher) {
  std::vector<std::string> args = launcher;
  args.push_back(CliPath());
  args.insert(args.end(), options.begin(), options.end());
  args.insert(args.end(), {"connect", sid, "--frames", std::to_string(frames)});
  std::string program = args.front();
  args.erase(args.begin());
  ProcessResult r = RunProgram(program, args, std::chrono::seconds(90));
  ConnectRun run;
  run.exitCode = r.exitCode;
  run.out = r.out;
  run.err = r.err;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("connection type: ", 0) == 0) run.connectionType = std::stoi(line.substr(17));
    if (line.rfind("frame: ", 0) == 0) run.frames.push_back(line.substr(7));
  }
  return run;
}

std::set<std::string> SentFrames(const SimServer& sim, const std::string& sid) {
  std::set<std::string> sent;
  std::istringstream lines(sim.FrameLog());
  for (std::string line; std::getline(lines, line);)
    if (line.rfind(sid + " ", 0) == 0) sent.insert(line.substr(sid.size() + 1));
  return sent;
}

}  // namespace lumivex::test
