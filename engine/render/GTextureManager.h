/// @file
/// Every texture of the renderer under a name: loaded on first use from a texture pak or from
/// registered texture folders, set on stage 0 with redundant device calls filtered out, and
/// released in bulk when the device goes away. Render targets and system-memory surfaces of
/// the device engine are registered here too, so all named textures share one namespace.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/D3D9.h"

class GPakFile;

/// One texture. The record other code passes around is its PSurf: SetTexture and
/// FindTextureByRecord identify a texture by it.
class GTexture9 {
public:
    GTexture9() = default;
    /// Writes "Deleting texture: <name>" to the draw log and releases what it owns.
    virtual ~GTexture9();
    GTexture9(const GTexture9&) = delete;
    GTexture9& operator=(const GTexture9&) = delete;

    IDirect3DTexture9* PSurf = nullptr;    ///< null for a system-memory surface
    IDirect3DSurface9* PTarget = nullptr;  ///< the surface of a system-memory texture
    std::string Name = "unknown";
    /// The source image's own size, not the (possibly rounded up) size of the texture.
    int32_t Height = 0;
    int32_t Width = 0;
};

class GTextureManager {
public:
    GTextureManager();
    virtual ~GTextureManager();
    GTextureManager(const GTextureManager&) = delete;
    GTextureManager& operator=(const GTextureManager&) = delete;

    // ---- Lookup (exact, case-sensitive names; the first record of a name wins) ----

    GTexture9* FindTexture(const std::string& name);
    bool HasTexture(const std::string& name);
    GTexture9* FindTextureByRecord(IDirect3DTexture9* record);
    /// The texture of that name, loading it when it is not held yet; null when it cannot be
    /// found or could not be created.
    IDirect3DTexture9* GetTexture(const std::string& name);
    /// The image size of the first texture of that name, (0, 0) when none is held. Loads nothing.
    void GetTextureSize(const std::string& name, float& width, float& height);
    /// Whether the pak or the folder list has the name; textures already held do not count.
    bool IsTextureAvailable(const std::string& name);

    // ---- Stage 0 ----

    /// Sets the texture (or none) on stage 0, skipping the device call when it is already set.
    void SetTexture(IDirect3DTexture9* record);
    /// Sets the texture of that name, loading it first when needed; a name found nowhere is
    /// logged and leaves the stage as it is.
    void SetTextureByName(const std::string& name);

    // ---- Sources ----

    /// Registers a folder and every folder below it (names beginning with "." excepted).
    void AddTextureFolder(const std::string& folder);
    /// Lists the file names found below every registered folder.
    void RebuildFileList();
    /// Opens the archive whose entries are looked up before the folders, closing any earlier one.
    void OpenTexturePak(const std::string& path);
    /// Loads the name from the pak or the first folder that holds it. True when a record was
    /// added, even one whose texture could not be created (it then sets no texture).
    bool LoadTexture(const std::string& name);
    /// Creates and registers the record for name, read from folder (empty for the pak),
    /// through the replacement table. On failure the record stays, without a texture.
    void LoadTextureFile(const std::string& name, const std::string& folder);
    /// Finds name among the files of folder with the same extension and loads it.
    bool LoadTextureFromFolder(const std::string& name, const std::string& folder);
    /// Creates the texture from the file's bytes (from the pak when it holds the path's last
    /// component, else from disk), with the given mip-level count.
    bool CreateTextureD3DX(UINT mipLevels, GTexture9* texture, const std::string& path);
    /// The same, with the graphics library reading the file itself.
    bool CreateTextureD3DXFromFile(UINT mipLevels, GTexture9* texture, const std::string& path);

    // ---- Registration and release ----

    /// Takes ownership; no duplicate check.
    void AddTexture(GTexture9* texture);
    /// Removes the shared handle of that name, then destroys the textures of that name.
    void DeleteTexture(const std::string& name);
    void DeleteTextureByName(const std::string& name);
    void ReleaseTextures();
    /// With at least one texture held: releases the textures, the text manager and the
    /// global vertex buffer, in that order, for a device restore.
    void ReleaseForRestore();

    int32_t GetTextureCount() const { return static_cast<int32_t>(Textures.size()); }
    GTexture9* GetTextureAt(int32_t index) { return Textures[index]; }
    const std::vector<std::string>& GetFileNames() const { return FileNames; }
    const std::vector<std::string>& GetTextureFolders() const { return TextureFolders; }

    /// Public switch: SetTexture appends the names it sets to the texture-use list.
    bool RecordTextureUse = false;
    /// The next SetTexture reaches the device even when it looks redundant.
    bool ForceNextSet = true;

private:
    /// Destroys a record and makes sure nothing keeps using its texture: the stage-0 memory
    /// is forgotten and shared handles caching it drop it.
    void DestroyTexture(GTexture9* texture);
    void ForgetCurrentTexture();

    std::vector<std::string> TextureFolders;
    std::vector<GTexture9*> Textures;
    IDirect3DTexture9* CurrentTexture = nullptr;
    std::vector<std::string> FileNames;
    GPakFile* TexturePak = nullptr;
};

GTextureManager& GetTextureManager();
