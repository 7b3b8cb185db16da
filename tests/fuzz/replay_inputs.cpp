// Feeds every file of the directories given to a fuzz target once, so that
// the seed corpus and the inputs that once found a fault are checked in the
// test builds too. The target aborts when the reader breaks its contract.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size);

int main(int argc, char** argv) {
  unsigned count = 0;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    for (auto const& entry : std::filesystem::directory_iterator(argv[i], ec)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::string const bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(reinterpret_cast<std::uint8_t const*>(bytes.data()), bytes.size());
      ++count;
    }
  }
  std::printf("%u inputs replayed\n", count);
  // A replay that found no input has checked nothing.
  return count > 0 ? 0 : 1;
}
