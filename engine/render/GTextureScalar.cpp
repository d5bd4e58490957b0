#include "render/GTextureScalar.h"

#include "data/CSV.h"
#include "data/IniLoader.h"

GTextureScalar& GetTextureScalar() {
    static GTextureScalar scalar;
    return scalar;
}

void GTextureScalar::Load(const std::string& fileName) {
    if (fileName.empty()) return;
    IniLoader ini;
    ini.Load("textures", fileName);
    // Each line is a bare key "name,file"; the ini reader hands it over whole.
    char key[256] = "";
    while (ini.NextKey(key, sizeof key)) {
        CSV csv;
        csv.SetLine(key, ',');
        TextureScaleData entry;
        entry.Name = csv.GetNextTrimmedString();
        entry.File = csv.GetNextTrimmedString();
        Entries.push_back(entry);
        key[0] = '\0';
    }
}

const GTextureScalar::TextureScaleData* GTextureScalar::Find(const std::string& name) const {
    for (const TextureScaleData& entry : Entries) {
        if (entry.Name == name) return &entry;
    }
    return nullptr;
}
