// The flare program the effect shipped before its rewrite, kept unchanged as the reference
// for whole-frame comparisons.
#ifndef QUELLIX_TESTS_SUPPORT_REFERENCE_FLARE_PROGRAM_H
#define QUELLIX_TESTS_SUPPORT_REFERENCE_FLARE_PROGRAM_H

extern const char kReferenceFlareVertexSource[];
extern const char kReferenceFlareFragmentSource[];

#endif  // QUELLIX_TESTS_SUPPORT_REFERENCE_FLARE_PROGRAM_H
