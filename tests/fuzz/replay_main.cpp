// Runs a fuzz target over the files of its corpus (the native build's way
// of running the corpora under AddressSanitizer and UBSan without libFuzzer).
#include "tests/fuzz/fuzz_targets.h"

#include <dirent.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    int files = 0;
    for (int a = 1; a < argc; ++a) {
        DIR* dir = opendir(argv[a]);
        if (dir == nullptr) {
            fprintf(stderr, "no corpus folder %s\n", argv[a]);
            return 1;
        }
        while (dirent* e = readdir(dir)) {
            if (e->d_name[0] == '.') continue;
            std::string path = std::string(argv[a]) + "/" + e->d_name;
            FILE* f = fopen(path.c_str(), "rb");
            if (f == nullptr) continue;
            std::vector<uint8_t> bytes;
            int c;
            while ((c = fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
            fclose(f);
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++files;
        }
        closedir(dir);
    }
    printf("%d inputs replayed\n", files);
    return files > 0 ? 0 : 1;
}
