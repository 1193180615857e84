// One client per program folder, across processes.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/single_instance.h"
#include "support/temp_dir.h"

namespace lumivex {
namespace {

using State = SingleInstanceLock::State;

int StateInChild(const std::string& file) {
  pid_t pid = fork();
  if (pid == 0) {
    SingleInstanceLock lock;
    _exit(static_cast<int>(lock.Acquire(file)));
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SingleInstanceLock, SecondProcessIsRefusedUntilTheFirstLetsGo) {
  test::TempDir dir;
  std::string file = (dir / "lumivex.lock").string();
  SingleInstanceLock first;
  ASSERT_EQ(first.Acquire(file), State::kAcquired);
  EXPECT_EQ(StateInChild(file), static_cast<int>(State::kHeldByOther));
  first.Release();
  EXPECT_EQ(StateInChild(file), static_cast<int>(State::kAcquired));
}

TEST(SingleInstanceLock, MissingFolderIsAnErrorNotAnotherInstance) {
  SingleInstanceLock lock;
  EXPECT_EQ(lock.Acquire("/nonexistent-lumivex-folder/lumivex.lock"), State::kError);
  EXPECT_FALSE(lock.held());
  // The start-up failure box names the file and the reason.
  EXPECT_EQ(lock.error(), "/nonexistent-lumivex-folder/lumivex.lock: No such file or directory");
}

}  // namespace
}  // namespace lumivex
