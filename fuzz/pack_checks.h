// Checks shared by the package fuzz targets: what a reader leaves in a
// package it accepted, and that such a package makes a frame that reads
// back the same.
#ifndef FUZZ_PACK_CHECKS_H_
#define FUZZ_PACK_CHECKS_H_

#include <stdlib.h>
#include <string.h>

#include <vector>

#include "ul_log.h"
#include "ul_pack.h"

namespace packfuzz {

// The body room of a run, from one input byte: 0 to 1020 bytes.
inline int Room(unsigned char b) { return b * 4; }

// One of two packages kept for the whole run (a package is 800 KB: made
// once, reused), with an exactly sized body buffer of `room` bytes, so that
// a write past the room is caught.
struct Package {
  ul_package* p;
  std::vector<char> body;
  Package(int which, int room) : p(Shared(which)), body(static_cast<size_t>(room)) { Reset(); }
  void Reset() {
    ul_pack_cleanhead(p);
    ul_pack_putbuf(p, body.empty() ? nullptr : body.data(), static_cast<int>(body.size()));
  }
  static ul_package* Shared(int which) {
    static ul_package* packs[2] = {ul_pack_init(), ul_pack_init()};
    if (packs[which] == nullptr) abort();
    return packs[which];
  }
};

// Warnings about bad frames go to a log that keeps nothing.
inline void QuietLog(const char* dir) {
  static const bool opened = [dir] {
    ul_logstat_t quiet = {0, 0, 0};
    return ul_openlog(dir, "fuzz", &quiet, 1) == 0;
  }();
  (void)opened;
}

inline void CheckPairs(const ul_package* p) {
  if (p->pairnum < 0 || p->pairnum > UL_PACK_MAXPAIRS) abort();
  for (int i = 0; i < p->pairnum; ++i) {
    if (strnlen(p->name[i], UL_PACK_ITEMSIZE) == UL_PACK_ITEMSIZE) abort();
    if (strnlen(p->value[i], UL_PACK_ITEMSIZE) == UL_PACK_ITEMSIZE) abort();
    if (p->name[i][0] == '\0') abort();
  }
}

// A package a reader accepted makes a frame (its head is never longer than
// the one it came from) that reads back to the same pairs and body.
inline void CheckRoundTrip(const ul_package* p, int body_len) {
  std::vector<char> frame(static_cast<size_t>(body_len) + UL_PACK_MAXHEAD + 26);
  ul_package* src = const_cast<ul_package*>(p);
  const int saved = src->bufsize;
  src->bufsize = body_len;
  const int n = ul_pack_serialization(frame.data(), static_cast<int>(frame.size()), src);
  src->bufsize = saved;
  if (n < 0) abort();
  Package again(1, body_len);
  if (ul_pack_deserialization(frame.data(), n, again.p) != n) abort();
  if (again.p->pairnum != p->pairnum || again.p->bufsize != body_len) abort();
  for (int i = 0; i < p->pairnum; ++i) {
    if (strcmp(again.p->name[i], p->name[i]) != 0) abort();
    if (strcmp(again.p->value[i], p->value[i]) != 0) abort();
  }
  if (body_len > 0 && memcmp(again.body.data(), p->buf, static_cast<size_t>(body_len)) != 0) abort();
}

}  // namespace packfuzz

#endif  // FUZZ_PACK_CHECKS_H_
