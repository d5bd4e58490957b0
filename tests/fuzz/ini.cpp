// Ini files: the section list, every section's keys and values read as text and numbers,
// and a save of what was read.
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "data/IniLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = FuzzSupport::WriteScratchFile(data, size, ".ini");
    IniLoader sections;
    sections.LoadSectionNames(path);
    std::vector<std::string> names = sections.GetSections();
    names.push_back("");
    names.push_back("missing");
    if (names.size() > 8) names.resize(8);
    for (const std::string& name : names) {
        IniLoader ini;
        if (!ini.Load(name, path)) continue;
        char key[IniLoader::MAXKEY + 1];
        char value[IniLoader::MAXVALUE + 1];
        std::vector<std::string> keys;
        while (ini.NextKeyValue(key, sizeof(key), value, sizeof(value))) keys.push_back(key);
        for (const std::string& k : keys) {
            int32_t a = 0, b = 0, c = 0, d = 0;
            ini.GetValue(k);
            ini.GetInt(k);
            ini.GetFloat(k);
            ini.GetColor(k, a, b, c, d);
            ini.GetRect(k, a, b, c, d);
        }
        if (ini.GetCount() > 0) ini.GetRandomValue();
        std::vector<std::string> list;
        ini.LoadValueList(list, name, path);
        ini.Save(path + ".saved");
        std::remove((path + ".saved").c_str());
    }
    std::remove(path.c_str());
    return 0;
}
