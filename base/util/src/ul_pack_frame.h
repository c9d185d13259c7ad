// The package frame, shared by the newer and the older package functions:
// rendering and parsing the header and the head, and the socket reader and
// writers in their timed and blocking flavours.
#ifndef UL_PACK_FRAME_H_
#define UL_PACK_FRAME_H_

#include <stddef.h>

#include "ul_pack.h"

namespace ulpack {

constexpr int kHeaderSize = 20;
constexpr int kTrailerSize = 5;
constexpr char kTag[] = "~BUF! ";
constexpr size_t kTagSize = sizeof(kTag) - 1;
constexpr char kTrailer[] = "~EOF!";
// Room for a head being rendered: the limit and the final "\r\n".
constexpr size_t kHeadRoom = UL_PACK_MAXHEAD + 2;

// A length for an "%d" in a log line, held to the int range.
inline int ClampInt(long long v) {
  return v > 2147483647LL ? 2147483647 : (v < -2147483647LL ? -2147483647 : static_cast<int>(v));
}

// Pairs in use, held to 0..200 whatever the record says.
int PairCount(const ul_package* ppack);

// Renders the head into out (kHeadRoom bytes): its length, or one of these
// codes; *reached is the length the head reached.
constexpr int kHeadLinesOver = -1;  // the lines alone pass UL_PACK_MAXHEAD
constexpr int kHeadTooLong = -2;    // with the final "\r\n" it reaches UL_PACK_MAXHEAD
int RenderHead(const ul_package* ppack, char* out, size_t* reached);

// The 20 header bytes for these lengths; false when the text does not fit.
bool RenderHeader(char* out, int head_len, long long body_len);

// Reads the two lengths of a header that starts with kTag; false when either
// number is missing.
bool ParseLengths(const char* header, long long* head_len, long long* body_len);

// Parses a head of len bytes (its text ends at a NUL, if any) into ppack's
// pairs (pairnum untouched). Returns the pairs kept, or -1 on a format error
// with *bad at the line (NUL-terminated only when text is). *left tells
// whether parsing stopped at 200 pairs while the next line still holds a pair.
int ParseHead(const char* text, size_t len, ul_package* ppack, const char** bad, bool* left);

// A body the writers can send: bufsize >= 0 and a buffer when bufsize > 0.
bool BodyOk(const ul_package* ppack);

// The socket forms. `timed` picks the millisecond flavour (msec) or the
// blocking one, with its own log texts.
int ReadFrame(int sockfd, ul_package* ppack, bool timed, int msec);
int WriteFrame(int sockfd, const ul_package* ppack, bool timed, int msec);
int WriteOneBuffer(int sockfd, const ul_package* ppack, bool timed, int msec);

}  // namespace ulpack

#endif  // UL_PACK_FRAME_H_
