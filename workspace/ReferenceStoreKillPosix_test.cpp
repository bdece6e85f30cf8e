// A store update killed (SIGKILL) before each of its file operations, and in the middle
// of writing its new file, leaves the old or the new store, complete; the next check
// then updates it despite the dead one's lock and, a minute later, removes its temporary
// file. POSIX only (fork, kill).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "test/TestPlatform.h"
#include "test/TestUtil.h"
#include "workspace/ReferenceStore.h"
#include "workspace/StoreRecord.h"

namespace corvantis {
namespace {

// The real platform, with the process killed when its countdown of operations runs out.
// The countdown running out inside writeUniqueFile writes half the file first.
class KillingPlatform : public test::TestPlatform {
 public:
  explicit KillingPlatform(int operationsLeft) : left_(operationsLeft) {}

  Status writeUniqueFile(const std::string& prefix, const std::string& content,
                         std::string* path) override {
    if (left_-- == 0) {
      TestPlatform::writeUniqueFile(prefix, content.substr(0, content.size() / 2), path);
      raise(SIGKILL);
    }
    return TestPlatform::writeUniqueFile(prefix, content, path);
  }
  std::optional<Status> fault(const std::string& op, const std::string& path) const override {
    if (left_-- == 0) raise(SIGKILL);
    return TestPlatform::fault(op, path);
  }

 private:
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
  const std::vector<std::string> files = {"robots/R1/corvantis.dat", "robots/R1/corvantis.dat.lock",
                                          "var/tmp/a_kivro.tmp.keep"};

  int operations = 0;  // the kills before the update that ran through
  for (;; ++operations) {
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
    // A lock still held by the dead one would leave the store as it was.
    test::writeFile(store, old);
    std::ostringstream told;
    test::TestPlatform aMinuteLater;
    aMinuteLater.setCurrentTime(defaultPlatform().currentTime() + 61);
    ReferenceStore(store, temp, aMinuteLater, told).update("part.bmp", values, 9);
    EXPECT_EQ(updated, test::readFile(store)) << told.str();
    EXPECT_EQ(files, test::filesBelow(dir.path().string()));
  }
  EXPECT_GE(operations, 6) << "lock, open, read, temporary file, half of it, rename";
}

}  // namespace
}  // namespace corvantis
