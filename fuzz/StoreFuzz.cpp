// Feeds arbitrary store files to the reference store: lookups, the stored time and an
// update must neither crash nor read out of bounds, a record found has five values, an
// update rewrites exactly the records of its key (or nothing, for a key no record can
// hold), and a record just stored reads back exactly.
//
// Input: an optional key of up to 64 bytes ended by a NUL byte, then the store file.
//
// The store is a real file, in a cell below /dev/shm where there is one: there the
// durable writes of each update cost nothing.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "workspace/Platform.h"
#include "workspace/ReferenceStore.h"
#include "workspace/StoreRecord.h"

namespace {

namespace fs = std::filesystem;

// A cell of this process's own, removed when the fuzzer ends.
struct Cell {
  Cell() {
    const fs::path shm = "/dev/shm";
    root = (fs::is_directory(shm) ? shm : fs::temp_directory_path()) /
           ("corvantis-fuzz-" + std::to_string(corvantis::defaultPlatform().processId()));
    fs::create_directories(root / "robots/R1");
    fs::create_directories(root / "var/tmp");
  }
  ~Cell() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  fs::path root;
};

const Cell kCell;
const std::string kStore = (kCell.root / "robots/R1/corvantis.dat").string();
const std::string kTemp = (kCell.root / "var/tmp/a_kivro.tmp").string();
constexpr std::size_t kLongestKey = 64;
constexpr std::uint64_t kTime = 1700000000;
const corvantis::FeatureVector kValues = {937, 312, 4, 123.456, 2.0 / 3.0};

int recordsOf(const std::string& key, const std::string& store) {
  int records = 0;
  std::size_t pos = 0;
  for (std::string line; corvantis::readLine(store, &pos, &line);)
    records += corvantis::belongsTo(line, key) ? 1 : 0;
  return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string content(reinterpret_cast<const char*>(data), size);
  std::string key = "part.bmp";
  const std::size_t nul = content.find('\0');
  if (nul != std::string::npos && nul <= kLongestKey) {
    key = content.substr(0, nul);
    content.erase(0, nul + 1);
  }
  corvantis::Platform& platform = corvantis::defaultPlatform();
  platform.deleteFile(kStore);
  platform.writeNewFile(kStore, content);
  std::ostringstream told;
  {
    corvantis::ReferenceStore store(kStore, kTemp, platform, told);
    const corvantis::FeatureVector found = store.lookup(key);
    if (!found.empty() && found.size() != corvantis::kFeatureCount) std::abort();
    store.storedTime(key);
    store.lookup("other.bmp");
    store.storedTime(key);
    store.update(key, kValues, kTime);
  }
  // Keys the record format cannot hold (a line end, a comma, a leading ";") are never
  // stored: the store stays exactly as it was. Every other key is stored and reads back.
  const bool storable = key.find_first_of("\r\n,") == std::string::npos && key.rfind(';', 0) != 0;
  std::string after;
  platform.readFile(kStore, &after);
  if (!storable && after != content) std::abort();
  // An update puts its record in place of each one of its key (duplicates written by
  // hand stay duplicates), or adds the one record.
  if (storable && recordsOf(key, after) != std::max(1, recordsOf(key, content))) std::abort();

  corvantis::ReferenceStore reread(kStore, kTemp, platform, told);
  if (storable && (reread.lookup(key) != kValues || reread.storedTime(key) != kTime)) std::abort();
  return 0;
}
