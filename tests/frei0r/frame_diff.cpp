// frame_diff A B [MAX] [--at-least MIN]: compares two raw RGBA8 files byte by byte and
// prints their largest channel difference. Fails when the sizes differ, when the largest
// difference exceeds MAX (default 0), or with --at-least when it is below MIN (a flare
// that is visibly there).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

static std::vector<unsigned char> Read(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
}

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: frame_diff A B [MAX] [--at-least MIN]\n");
        return 2;
    }
    const bool atLeast = argc > 4 && std::strcmp(argv[3], "--at-least") == 0;
    const int limit = atLeast ? std::atoi(argv[4]) : argc > 3 ? std::atoi(argv[3]) : 0;
    const std::vector<unsigned char> a = Read(argv[1]);
    const std::vector<unsigned char> b = Read(argv[2]);
    if (a.empty() || a.size() != b.size()) {
        std::printf("sizes differ: %zu and %zu bytes\n", a.size(), b.size());
        return 1;
    }
    int largest = 0;
    size_t differing = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const int d = std::abs(int{a[i]} - int{b[i]});
        largest = d > largest ? d : largest;
        differing += d != 0 ? 1 : 0;
    }
    std::printf("largest channel difference %d/255 (%zu of %zu bytes differ)\n", largest, differing,
                a.size());
    return atLeast ? (largest >= limit ? 0 : 1) : (largest <= limit ? 0 : 1);
}
