#include "workspace/FileNames.h"

#include <random>

namespace corvantis {

std::string fileNameOf(const std::string& path) {
  const std::size_t last = path.find_last_of("\\/");
  // A path without a separator is its own file name: an empty name would make every
  // such reference share one store record.
  if (last == std::string::npos) return path;
  return path.substr(last + 1);
}

std::string randomNameSuffix() {
  constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::random_device device;
  std::uint64_t bits = (static_cast<std::uint64_t>(device()) << 32) ^ device();
  std::string suffix;
  // 36^12 is just below 2^63: each character takes a fresh part of the 64 random bits.
  for (std::size_t i = 0; i < kRandomSuffixLength; ++i, bits /= 36) suffix += kDigits[bits % 36];
  return suffix;
}

std::uint64_t fileTimeOf(const std::string& path, const Platform& platform) {
  return platform.fileTime(path);
}

}  // namespace corvantis
