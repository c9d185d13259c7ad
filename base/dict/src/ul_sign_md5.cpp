// MD5-based signatures, through libcrypto's EVP digest interface.
#include <openssl/evp.h>

#include <cstring>

#include "dict_check.h"
#include "ul_sign.h"

namespace {

// Folds the 16-byte digest into two halves: w0 + w1 and w2 + w3.
void Md5Sign(const char* psrc, int slen, u_int* sign1, u_int* sign2) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (EVP_Digest(psrc, static_cast<size_t>(slen), digest, &len, EVP_md5(), nullptr) != 1 ||
      len != 16) {
    // Only a broken libcrypto gets here; a constant would collide silently.
    DICT_CHECK(false, "EVP_Digest(md5)");
  }
  u_int w[4];
  std::memcpy(w, digest, sizeof(w));
  *sign1 = w[0] + w[1];
  *sign2 = w[2] + w[3];
}

}  // namespace

int creat_sign_md64(const char* psrc, int slen, u_int* sign1, u_int* sign2) {
  *sign1 = *sign2 = 0;
  if (slen < 0) slen = 0;
  DICT_CHECK(psrc[slen] == 0, "psrc[slen]==0");
  Md5Sign(psrc, slen, sign1, sign2);
  return 1;
}

int creat_sign_mds64(const char* psrc, int slen, u_int* sign1, u_int* sign2) {
  *sign1 = *sign2 = 0;
  if (slen < 0) slen = 0;
  Md5Sign(psrc, slen, sign1, sign2);
  return 1;
}
