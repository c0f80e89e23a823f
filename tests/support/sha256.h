// SHA-256 of a block of bytes as 64 lowercase hex digits, for comparing pictures with
// known ones (OpenSSL on Linux, the system's CNG on Windows).
#ifndef QUELLIX_TESTS_SHA256_H
#define QUELLIX_TESTS_SHA256_H

#include <cstddef>
#include <string>

std::string Sha256Hex(const void* data, size_t size);

// The digest's bytes as lowercase hex digits.
std::string DigestHex(const unsigned char* digest, size_t size);

#endif  // QUELLIX_TESTS_SHA256_H
