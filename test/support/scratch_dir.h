// A scratch folder for the whole process: made on first use under $TMPDIR
// (or /tmp) and removed with its contents at exit. Header-only, for fuzz
// targets and benchmarks that do not link the test support library.
#ifndef PBDICT_TEST_SUPPORT_SCRATCH_DIR_H_
#define PBDICT_TEST_SUPPORT_SCRATCH_DIR_H_

#include <ftw.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace testsupport {

inline const std::string& ProcessScratchDir() {
  struct Folder {
    std::string path;
    Folder() {
      const char* tmp = getenv("TMPDIR");
      std::string tmpl = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/pbdict-scratch-XXXXXX";
      if (mkdtemp(&tmpl[0]) == nullptr) abort();
      path = tmpl;
    }
    ~Folder() {
      nftw(path.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return std::remove(p); },
           16, FTW_DEPTH | FTW_PHYS);
    }
  };
  static Folder folder;
  return folder.path;
}

// Writes the bytes as the whole content of the file; false when that failed.
inline bool WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && written;
}

// The whole file's bytes; empty when it cannot be read.
inline std::string ReadBytes(const std::string& path) {
  std::string out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

}  // namespace testsupport

#endif  // PBDICT_TEST_SUPPORT_SCRATCH_DIR_H_
