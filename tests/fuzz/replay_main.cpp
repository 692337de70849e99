// The driver of a fuzz target in the builds without libFuzzer: every file given, or every file in a folder
// given, runs once through the target, so that the corpora replay as regression cases under the sanitizers.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

int replay(const std::filesystem::path &file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in && !in.eof()) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return 1;
  }
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  int failures = 0, inputs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    if (std::filesystem::is_directory(path)) {
      for (const auto &entry : std::filesystem::directory_iterator(path))
        if (entry.is_regular_file()) failures += replay(entry.path()), ++inputs;
    } else {
      failures += replay(path), ++inputs;
    }
  }
  // An empty corpus replays nothing: a regression folder that went missing must not pass unseen.
  if (inputs == 0) {
    std::fprintf(stderr, "no inputs\n");
    return 1;
  }
  std::printf("%d inputs replayed\n", inputs);
  return failures == 0 ? 0 : 1;
}
