// The confidence scale the page and query detectors share: a scorer answers
// from 0 (no sign of its code type) up to kCertain, and a rule of a detection
// chain that does not decide answers kNoDecision so that the next rule runs.
#ifndef CCODE_SRC_UL_CCODE_CONFIDENCE_H_
#define CCODE_SRC_UL_CCODE_CONFIDENCE_H_

constexpr int kCertain = 1023;
constexpr int kNoDecision = -2;

#endif  // CCODE_SRC_UL_CCODE_CONFIDENCE_H_
