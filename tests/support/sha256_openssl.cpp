// SHA-256 through OpenSSL's libcrypto.
#include <openssl/sha.h>

#include "sha256.h"

std::string Sha256Hex(const void* data, size_t size) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(static_cast<const unsigned char*>(data), size, digest);
    return DigestHex(digest, sizeof digest);
}
