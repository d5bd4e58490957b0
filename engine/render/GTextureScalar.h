/// @file
/// A table that maps a texture name to another image file loaded in its place, so a host can
/// swap art (smaller or larger versions) by configuration. Read from the ini section
/// "textures", one "name,file" line per entry.
#pragma once

#include <string>
#include <vector>

class GTextureScalar {
public:
    struct TextureScaleData {
        std::string Name;  ///< the texture name as the texture manager knows it
        std::string File;  ///< the file to load instead; empty means no replacement
    };

    GTextureScalar() = default;
    GTextureScalar(const GTextureScalar&) = delete;
    GTextureScalar& operator=(const GTextureScalar&) = delete;

    /// Appends the entries of the file's "textures" section; an empty file name does nothing.
    void Load(const std::string& fileName);
    /// The first entry whose Name equals name exactly, or null.
    const TextureScaleData* Find(const std::string& name) const;

    std::vector<TextureScaleData> Entries;
};

GTextureScalar& GetTextureScalar();
