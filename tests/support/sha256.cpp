#include "sha256.h"

#include <cstdio>

std::string DigestHex(const unsigned char* digest, size_t size) {
    std::string hex;
    char pair[3];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}
