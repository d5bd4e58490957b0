// The exporter: unpacks the pak archive named by the first argument into extracted/.
#include <cstdio>
#include <string>

#include "pak/GPakFile.h"
#include "platform/Platform.h"

namespace {

// The transcript and the exit status stay as scripts know them; an archive that was never
// read is said on standard error instead, so it does not pass for an empty one.
void ReportUnreadArchive(const char* path, const GPakLoadResult& load) {
    if (load.Status == GPakLoadStatus::CannotOpen) {
        fprintf(stderr, "exporter: cannot open %s: %s\n", path,
                Platform::ErrorMessage(load.SystemError).c_str());
    } else if (load.Status == GPakLoadStatus::Damaged) {
        fprintf(stderr, "exporter: %s is not a readable pak archive: %s\n", path,
                load.Damage != nullptr ? load.Damage : "its table is damaged");
    }
}

}  // namespace

int main(int /*argc*/, char* argv[]) {
    printf("Pak exporter 1.0\n");
    // The test is the vector slot itself, as the runtime leaves it null when no argument came.
    if (argv[1] == nullptr) return 0;

    printf("Loading %s...\n", argv[1]);
    std::string pakpath = argv[1];
    GPakFile pak;
    pak.Load(pakpath);
    ReportUnreadArchive(argv[1], pak.GetLoadResult());
    printf("Loading complete\n");
    printf("Extracting files...\n");
    pak.ExtractAll("extracted/");
    printf("Extraction complete...");
    return 0;
}
