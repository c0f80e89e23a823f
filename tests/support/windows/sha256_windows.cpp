// SHA-256 through Windows' CNG (bcrypt.dll).
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include "support/sha256.h"

std::string Sha256Hex(const void* data, size_t size) {
    unsigned char digest[32] = {};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) {
        return "no SHA-256 provider";
    }
    const NTSTATUS status =
        BCryptHash(algorithm, nullptr, 0, static_cast<PUCHAR>(const_cast<void*>(data)),
                   static_cast<ULONG>(size), digest, sizeof digest);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    if (status != 0) {
        return "SHA-256 failed";
    }
    return DigestHex(digest, sizeof digest);
}
