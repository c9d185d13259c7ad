// Name/value package benchmarks: a package of 10 pairs and a 1 KB body.
//
// Memory: ul_pack_serialization against its anchor, the same frame written
// with snprintf and memcpy the way a caller would by hand; and
// ul_pack_deserialization against an anchor that splits the same head with
// std::string_view look-ups into std::string pairs.
// Socket: one frame written with ul_pack_write_mo_ms and read back with
// ul_pack_reado_ms over a local socket pair, against the bare write and read
// of the same bytes.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ul_pack.h"

namespace {

struct Fixture {
  ul_package* pack = ul_pack_init();
  ul_package* into = ul_pack_init();
  std::vector<char> body = std::vector<char>(1024, 'b');
  std::vector<char> room = std::vector<char>(1024);
  std::vector<char> frame = std::vector<char>(64 << 10);
  int frame_len = 0;
  Fixture() {
    ul_pack_putbuf(pack, body.data(), static_cast<int>(body.size()));
    for (int i = 0; i < 10; ++i) {
      const std::string name = "key" + std::to_string(i);
      const std::string value = "value number " + std::to_string(i * 7919) + " of the package";
      ul_pack_putvalue(pack, name.c_str(), value.c_str());
    }
    frame_len = ul_pack_serialization(frame.data(), static_cast<int>(frame.size()), pack);
    ul_pack_putbuf(into, room.data(), static_cast<int>(room.size()));
  }
};

Fixture& F() {
  static Fixture* f = new Fixture();
  return *f;
}

void BM_PackSerialize(benchmark::State& state) {
  Fixture& f = F();
  for (auto _ : state) {
    benchmark::DoNotOptimize(ul_pack_serialization(f.frame.data(), static_cast<int>(f.frame.size()), f.pack));
  }
  state.SetBytesProcessed(state.iterations() * f.frame_len);
}
BENCHMARK(BM_PackSerialize);

void BM_PackSerializeAnchorSnprintf(benchmark::State& state) {
  Fixture& f = F();
  std::vector<char> out(f.frame.size());
  for (auto _ : state) {
    char* p = out.data() + 20;
    char* const end = out.data() + out.size();
    for (int i = 0; i < f.pack->pairnum; ++i) {
      p += snprintf(p, static_cast<size_t>(end - p), "%s : %s\r\n", f.pack->name[i], f.pack->value[i]);
    }
    p += snprintf(p, static_cast<size_t>(end - p), "\r\n");
    const int head = static_cast<int>(p - out.data() - 20);
    snprintf(out.data(), 20, "~BUF! %d %d", head, f.pack->bufsize);
    memcpy(p, f.pack->buf, static_cast<size_t>(f.pack->bufsize));
    memcpy(p + f.pack->bufsize, "~EOF!", 5);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * f.frame_len);
}
BENCHMARK(BM_PackSerializeAnchorSnprintf);

void BM_PackDeserialize(benchmark::State& state) {
  Fixture& f = F();
  for (auto _ : state) {
    f.into->bufsize = static_cast<int>(f.room.size());
    benchmark::DoNotOptimize(ul_pack_deserialization(f.frame.data(), f.frame_len, f.into));
  }
  state.SetBytesProcessed(state.iterations() * f.frame_len);
}
BENCHMARK(BM_PackDeserialize);

void BM_PackDeserializeAnchorStringView(benchmark::State& state) {
  Fixture& f = F();
  std::vector<std::pair<std::string, std::string>> pairs;
  for (auto _ : state) {
    pairs.clear();
    int head_len = 0, body_len = 0;
    sscanf(f.frame.data() + 6, "%d %d", &head_len, &body_len);
    std::string_view head(f.frame.data() + 20, static_cast<size_t>(head_len));
    for (size_t eol; (eol = head.find("\r\n")) != 0 && eol != std::string_view::npos;
         head.remove_prefix(eol + 2)) {
      const size_t sep = head.find(" : ");
      pairs.emplace_back(head.substr(0, sep), head.substr(sep + 3, eol - sep - 3));
    }
    memcpy(f.room.data(), f.frame.data() + 20 + head_len, static_cast<size_t>(body_len));
    benchmark::DoNotOptimize(pairs.data());
  }
  state.SetBytesProcessed(state.iterations() * f.frame_len);
}
BENCHMARK(BM_PackDeserializeAnchorStringView);

void BM_PackSocketRoundTrip(benchmark::State& state) {
  Fixture& f = F();
  int fds[2];
  socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
  for (auto _ : state) {
    ul_pack_write_mo_ms(fds[0], f.pack, 1000);
    benchmark::DoNotOptimize(ul_pack_reado_ms(fds[1], f.into, 1000));
  }
  close(fds[0]);
  close(fds[1]);
  state.SetBytesProcessed(state.iterations() * f.frame_len);
}
BENCHMARK(BM_PackSocketRoundTrip);

void BM_PackSocketRoundTripAnchorBareIo(benchmark::State& state) {
  Fixture& f = F();
  int fds[2];
  socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
  std::vector<char> in(static_cast<size_t>(f.frame_len));
  state.SetLabel("lower bound: moves the frame's bytes, no framing or decoding");
  for (auto _ : state) {
    benchmark::DoNotOptimize(write(fds[0], f.frame.data(), static_cast<size_t>(f.frame_len)));
    benchmark::DoNotOptimize(read(fds[1], in.data(), in.size()));
  }
  close(fds[0]);
  close(fds[1]);
  state.SetBytesProcessed(state.iterations() * f.frame_len);
}
BENCHMARK(BM_PackSocketRoundTripAnchorBareIo);

}  // namespace

BENCHMARK_MAIN();
