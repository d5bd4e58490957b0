// The pak tool's list, verify, extract and remove commands on one archive. Extraction goes
// into a watched target folder, plain and with links planted in it, and must stay inside it;
// removing rewrites a copy of the archive, which must then read as a sound archive.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "PakCommands.h"
#include "WatchedFolder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using PakCommands::ListFormat;
    for (bool links : {false, true}) {
        FuzzSupport::WatchedFolder folder(data, size, links);
        if (!links) {
            for (ListFormat format :
                 {ListFormat::Plain, ListFormat::Long, ListFormat::Json, ListFormat::Nul}) {
                PakCommands::List(folder.ArchivePath(), format);
            }
            PakCommands::Verify(folder.ArchivePath());
        }
        PakCommands::Extract(folder.ArchivePath(), {}, folder.Target(), true);
        PakCommands::Extract(folder.ArchivePath(), {"a", "up/x", "*", "up/", "*/?"},
                             folder.Target(), true);
        folder.Check();
    }
    // Inside the target, where the watched folder allows changes.
    FuzzSupport::WatchedFolder folder(data, size, false);
    const std::string copy = folder.Target() + "copy.pak";
    std::filesystem::copy_file(folder.ArchivePath(), copy);
    if (PakCommands::Remove(copy, {"a", "*/*"}) == PakCommands::kOk &&
        PakCommands::Verify(copy) == PakCommands::kFailed) {
        abort();
    }
    folder.Check();
    return 0;
}
