// safe_open: what it keeps, and everything a local user can plant in a file's place.
#include "safe_open.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_reports;
void record(const char *path, const char *why) {
  g_reports.push_back(std::string(path) + ": " + why);
}

class SafeOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/safe_open_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    path = dir + "/file";
    other = dir + "/other";
    g_reports.clear();
  }
  void TearDown() override {
    unlink(path.c_str());
    rmdir(path.c_str());
    unlink(other.c_str());
    rmdir(dir.c_str());
  }
  void write_file(const std::string &name, const char *text) {
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text, strlen(text)), (ssize_t)strlen(text));
    close(fd);
  }
  struct stat stat_of(const std::string &name) {
    struct stat st = {};
    EXPECT_EQ(stat(name.c_str(), &st), 0) << name;
    return st;
  }
  std::string dir, path, other;
};

TEST_F(SafeOpen, KeepsOurFileCreatedOwnerOnlyBlockingAndCloseOnExec) {
  mode_t oldMask = umask(0);
  int fd = safe_open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, record);
  umask(oldMask);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(stat_of(path).st_mode & 07777, 0600u);
  EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
  EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
  close(fd);

  write_file(path, "old text");  // our own file, cut
  fd = safe_open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, record);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EQ(stat_of(path).st_size, 0);

  fd = safe_open(path.c_str(), O_RDONLY | O_NONBLOCK, record);
  ASSERT_GE(fd, 0);
  EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
  close(fd);

  unlink(path.c_str());  // a missing file is no refusal
  EXPECT_EQ(safe_open(path.c_str(), O_RDONLY, record), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(g_reports.empty());
}

// Each planted thing is refused, reported once and left as it is; nothing behind it
// is created, cut or waited for (a blocking open would end the test by the alarm).
TEST_F(SafeOpen, RefusesWhatIsNotOurFile) {
  struct Case {
    const char *what;
    std::function<void()> plant;
    int flags;
    int error;
    const char *why;
  };
  auto fifo = [&] { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); };
  auto folder = [&] { ASSERT_EQ(mkdir(path.c_str(), 0700), 0); };
  const int create = O_WRONLY | O_CREAT | O_TRUNC;
  const std::vector<Case> cases = {
      {"symbolic link", [&] { ASSERT_EQ(symlink(other.c_str(), path.c_str()), 0); }, create,
       ELOOP, kSafeOpenSymlink},
      {"hard link",
       [&] {
         write_file(other, "precious");
         ASSERT_EQ(link(other.c_str(), path.c_str()), 0);
       },
       create, EPERM, kSafeOpenNotOurs},
      {"FIFO read", fifo, O_RDONLY, EPERM, kSafeOpenNotOurs},
      {"FIFO write", fifo, create, EPERM, kSafeOpenNotOurs},
      {"directory read", folder, O_RDONLY, EPERM, kSafeOpenNotOurs},
      {"directory write", folder, O_RDWR | O_CREAT, EPERM, kSafeOpenNotOurs},
      {"another user's file",
       [&] {
         write_file(path, "theirs");
         ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
       },
       create, EPERM, kSafeOpenNotOurs},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    if (c.what == std::string("another user's file") && geteuid() != 0) {
      printf("skipped \"%s\": only root can give a file away\n", c.what);
      continue;
    }
    TearDown();
    SetUp();
    c.plant();
    struct stat before;
    ASSERT_EQ(lstat(path.c_str(), &before), 0);
    alarm(10);
    errno = 0;
    int fd = safe_open(path.c_str(), c.flags, record);
    alarm(0);
    EXPECT_EQ(fd, -1);
    if (fd >= 0) close(fd);
    EXPECT_EQ(errno, c.error);
    EXPECT_EQ(g_reports, std::vector<std::string>{path + ": " + c.why});
    struct stat after;
    ASSERT_EQ(lstat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_size, before.st_size);
    EXPECT_EQ(access(other.c_str(), F_OK) == 0, c.what == std::string("hard link"));
  }
}

}  // namespace
