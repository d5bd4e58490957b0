// Pak archives loaded and extracted into a watched target folder, once into a plain target
// and once into a target with links planted in it that lead out of it. Nothing may be written
// outside the target either way.

#include <vector>

#include "FuzzSupport.h"
#include "WatchedFolder.h"
#include "pak/GPakFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (bool links : {false, true}) {
        FuzzSupport::WatchedFolder folder(data, size, links);
        {
            GPakFile pak;
            pak.Load(folder.ArchivePath());
            std::vector<int32_t> backwards;
            for (int32_t i = 0; i < pak.GetNumEntries(); ++i) {
                pak.CheckEntry(i);
                if (pak.IsEntryUsable(i)) pak.Find(pak.GetEntries()[i].Name);
                backwards.insert(backwards.begin(), i);
            }
            pak.ExtractAll(folder.Target());
            // Again in reverse order, over what the first pass left in the target.
            pak.ExtractEntries(folder.Target(), backwards);
        }
        folder.Check();
    }
    return 0;
}
