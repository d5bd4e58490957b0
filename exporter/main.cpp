// The exporter: unpacks the pak archive named by the first argument into extracted/.
#include <cstdio>
#include <string>

#include "pak/GPakFile.h"

int main(int /*argc*/, char* argv[]) {
    printf("Pak exporter 1.0\n");
    // The test is the vector slot itself, as the runtime leaves it null when no argument came.
    if (argv[1] == nullptr) return 0;

    printf("Loading %s...\n", argv[1]);
    std::string pakpath = argv[1];
    GPakFile pak;
    pak.Load(pakpath);
    printf("Loading complete\n");
    printf("Extracting files...\n");
    pak.ExtractAll("extracted/");
    printf("Extraction complete...");
    return 0;
}
