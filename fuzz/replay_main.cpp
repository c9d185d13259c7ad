// Replays every file of the given corpus folders (or single files) through a
// fuzz target once, so that ordinary builds and CI check the corpus without
// libFuzzer.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int RunFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Copy into an exactly sized heap block so that overreads are caught.
  std::vector<uint8_t> data(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int files = 0, errors = 0;
  for (int i = 1; i < argc; ++i) {
    struct stat st;
    if (stat(argv[i], &st) != 0) {
      std::fprintf(stderr, "cannot stat %s\n", argv[i]);
      ++errors;
      continue;
    }
    if (!S_ISDIR(st.st_mode)) {
      errors += RunFile(argv[i]);
      ++files;
      continue;
    }
    DIR* dir = opendir(argv[i]);
    if (dir == nullptr) {
      ++errors;
      continue;
    }
    while (dirent* e = readdir(dir)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      errors += RunFile(std::string(argv[i]) + "/" + name);
      ++files;
    }
    closedir(dir);
  }
  std::printf("replayed %d inputs, %d unreadable\n", files, errors);
  return errors == 0 ? 0 : 1;
}
