// The pak tool's list, verify and extract commands on one archive; extraction goes into a
// watched target folder, plain and with links planted in it, and must stay inside it.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "PakCommands.h"
#include "WatchedFolder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (bool links : {false, true}) {
        FuzzSupport::WatchedFolder folder(data, size, links);
        if (!links) {
            PakCommands::List(folder.ArchivePath(), false);
            PakCommands::List(folder.ArchivePath(), true);
            PakCommands::Verify(folder.ArchivePath());
        }
        PakCommands::Extract(folder.ArchivePath(), folder.Target(), {});
        PakCommands::Extract(folder.ArchivePath(), folder.Target(), {"a", "up/x"});
        folder.Check();
    }
    return 0;
}
