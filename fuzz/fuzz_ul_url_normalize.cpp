// Fuzzes normal forms and whole-URL checks. A base normal form passes the
// normal-form test, is the same in the larger tiers and stays as it is when
// normalised again (but see HasStackedEscape); a cut normal form is a
// failure; a checked URL checks again to itself and the copying checks
// leave the caller's text alone.
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "ul_url.h"
#include "ul_url_fuzz.h"

using urlfuzz::Buf;
using urlfuzz::Check;

namespace {

using NormalizeFn = int (*)(const char*, char*, size_t);

// Normal form in a buffer of buf_size bytes; "" on failure.
std::string Normal(NormalizeFn fn, const std::string& url, size_t buf_size, int* rc) {
  Buf buf(buf_size);
  *rc = fn(url.c_str(), buf, buf_size);
  return *rc == 1 ? buf.str() : "";
}

// A normal form normalised again gives itself.
void CheckFixedPoint(NormalizeFn fn, const std::string& form, size_t buf_size, bool stacked) {
  int rc = 0;
  std::string again = Normal(fn, form, buf_size, &rc);
  Check(rc == 1);
  Check(stacked || again == form);
}

// Checks a copy of url with fn in a buffer of the tier's size; a valid
// result checks again to itself.
void CheckInPlace(int (*fn)(char*), const std::string& url, size_t tier) {
  if (url.size() >= tier) return;
  Buf buf(tier, url);
  if (fn(buf) != 1) return;
  const std::string first = buf.str();
  Check(first.size() < tier);
  Check(fn(buf) == 1 && buf.str() == first);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  urlfuzz::QuietLog();
  if (size == 0) return 0;
  const uint8_t sel = data[0];
  const std::string url = urlfuzz::Text(data + 1, size - 1);
  const bool stacked = urlfuzz::HasStackedEscape(url);

  Buf base(256);
  if (ul_normalize_url(url.c_str(), base) == 1) {
    const std::string form = base.str();
    Check(form.size() < 256 && ul_isnormalized_url(form.c_str()) == 1);
    Buf again(256);
    Check(ul_normalize_url(form.c_str(), again) == 1);
    Check(stacked || again.str() == form);
    int rc = 0;
    Check(Normal(ul_normalize_url_ex, url, 1024, &rc) == form && rc == 1);
    Check(Normal(ul_normalize_url_ex2, url, 2048, &rc) == form && rc == 1);
  }

  // Every tier and fragment form, in a full buffer and in a small one.
  const NormalizeFn forms[] = {ul_normalize_url_ex, ul_normalize_url_ex_save_fragment,
                               ul_normalize_url_ex2, ul_normalize_url_ex2_save_fragment,
                               ul_normalize_url_ex2_special_for_ps_20110221};
  const size_t small = 1 + sel;
  for (NormalizeFn fn : forms) {
    int rc = 0;
    const std::string full = Normal(fn, url, 2048, &rc);
    if (rc != 1) continue;
    CheckFixedPoint(fn, full, 2048, stacked);
    const std::string cut = Normal(fn, url, small, &rc);
    Check(rc == (full.size() < small ? 1 : 0) && (rc == 0 || cut == full));
  }
  Buf frag(256);
  if (ul_normalize_url_save_fragment(url.c_str(), frag) == 1) {
    CheckFixedPoint([](const char* u, char* b, size_t) { return ul_normalize_url_save_fragment(u, b); },
                    frag.str(), 256, stacked);
  }

  CheckInPlace(ul_check_url, url, 256);
  CheckInPlace(ul_check_url_ex, url, 1024);
  CheckInPlace(ul_check_url_ex2, url, 2048);

  // The copying checks leave the caller's URL as it was.
  Buf keep(url.size() + 1, url);
  ul_check_url_vhplink(keep);
  ul_check_url_ex_vhplink(keep);
  ul_check_url_ex2_vhplink(keep);
  Check(keep.str() == url);
  if (url.size() < small) {
    Buf in_place(small, url);
    ul_check_url_vhplink_modify_url(in_place, small, sel, sel);
  }

  for (int flag = 0; flag < 2; ++flag) {
    ul_isnormalized_url_with_fragment_flag(url.c_str(), flag, static_cast<UrlType>(sel % 3));
  }
  return 0;
}
