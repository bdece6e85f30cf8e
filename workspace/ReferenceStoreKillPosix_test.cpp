// A store update killed (SIGKILL) before each of its file operations, and in the middle
// of writing its new file, leaves the old or the new store, complete; the next check
// then updates it despite the dead one's lock and removes its temporary files. POSIX
// only (fork, kill).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "test/TestUtil.h"
#include "workspace/Platform.h"
#include "workspace/ReferenceStore.h"
#include "workspace/StoreRecord.h"

namespace corvantis {
namespace {

// The real platform, with the process killed when its countdown of operations runs out.
// The countdown reaching zero inside writeNewFile writes half the file first.
class KillingPlatform : public Platform {
  using Text = const std::string&;

 public:
  explicit KillingPlatform(int operationsLeft) : left_(operationsLeft) {}

  std::uint64_t fileTime(Text p) const override { return real_.fileTime(p); }
  std::optional<std::uint64_t> fileSize(Text p) const override { return real_.fileSize(p); }
  bool fileExists(Text p) const override { return real_.fileExists(p); }
  LocalTime localTime() const override { return real_.localTime(); }
  std::string workingDirectory() const override { return real_.workingDirectory(); }
  std::uint64_t processId() const override { return real_.processId(); }
  bool processExists(std::uint64_t id) const override { return real_.processExists(id); }
  std::uint64_t currentTime() const override { return real_.currentTime(); }
  Status readFile(Text p, std::string* c) const override { return tick(), real_.readFile(p, c); }
  Status createFile(Text p) override { return tick(), real_.createFile(p); }
  Status deleteFile(Text p) override { return tick(), real_.deleteFile(p); }
  Status moveNoReplace(Text f, Text t) override { return tick(), real_.moveNoReplace(f, t); }
  Status writeNewFile(Text p, Text c) override {
    tick();
    if (left_ == 0) {
      real_.writeNewFile(p, c.substr(0, c.size() / 2));
      raise(SIGKILL);
    }
    return tick(), real_.writeNewFile(p, c);
  }
  Status replaceFile(Text f, Text t) override { return tick(), real_.replaceFile(f, t); }
  Status appendDurably(Text p, Text d) override { return tick(), real_.appendDurably(p, d); }
  Status lockFile(Text p, int ms, std::unique_ptr<FileLock>* l) override {
    return tick(), real_.lockFile(p, ms, l);
  }
  Status listDirectory(Text p, std::vector<DirectoryEntry>* e) const override {
    return real_.listDirectory(p, e);
  }
  Status linkOrCopy(Text f, Text t) override { return tick(), real_.linkOrCopy(f, t); }

 private:
  void tick() const {
    if (left_-- == 0) raise(SIGKILL);
  }
  Platform& real_ = defaultPlatform();
  mutable int left_;
};

TEST(ReferenceStoreKillTest, KilledUpdateLeavesTheOldOrTheNewStore) {
  const FeatureVector values = {937, 312, 4, 123.456, 2.0 / 3.0};
  test::TempDir dir;
  const std::string store = dir.file("robots/R1/corvantis.dat");
  const std::string temp = dir.file("var/tmp/a_kivro.tmp");
  std::string old = "; cell R1\r\n";
  for (int n = 0; n < 200; ++n) old += "p" + std::to_string(n) + ".bmp,5,1,2,3,4.5,6.5\r\n";
  old += "part.bmp,1,1,1,1,1.5,1.5\r\n";
  const std::string updated = updatedStore(old, "part.bmp", formatRecord("part.bmp", values, 9));
  test::writeFile(temp + ".keep", "");

  int kills = 0;
  for (int operations = 0;; ++operations) {
    test::writeFile(store, old);
    const pid_t child = fork();
    if (child == 0) {
      KillingPlatform platform(operations);
      std::ostringstream quiet;
      ReferenceStore(store, temp, platform, quiet).update("part.bmp", values, 9);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    const std::string after = test::readFile(store);
    EXPECT_TRUE(after == old || after == updated) << "killed before operation " << operations;
    if (!WIFSIGNALED(status)) {
      EXPECT_EQ(updated, after);
      break;
    }
    ++kills;
    // A lock still held by the dead one would leave the store as it was.
    test::writeFile(store, old);
    std::ostringstream told;
    ReferenceStore(store, temp, defaultPlatform(), told).update("part.bmp", values, 9);
    EXPECT_EQ(updated, test::readFile(store)) << told.str();
    EXPECT_EQ(std::vector<std::string>{"a_kivro.tmp.keep"}, test::fileNamesIn(dir.file("var/tmp")));
    EXPECT_EQ((std::vector<std::string>{"corvantis.dat", "corvantis.dat.lock"}),
              test::fileNamesIn(dir.file("robots/R1")));
  }
  EXPECT_GE(kills, 6) << "lock, open, read, temporary file, half of it, rename";
}

}  // namespace
}  // namespace corvantis
