/// @file
/// Shared named handles on the texture manager's textures. A CLoadedTexture remembers a
/// texture's name and caches the texture the manager gave for it; every live handle sits in
/// the LoadedTextures registry, so one handle serves every user of a name and one call
/// re-fetches them all after the device is rebuilt. Users hold a CTextureRef, a one-pointer
/// reference to a registered handle.
///
/// The manager never leaves a handle holding a texture it destroyed: the handle drops it,
/// keeps its name, and fetches the texture again by name the next time it is used.
#pragma once

#include <string>
#include <vector>

#include "platform/D3D9.h"

class CLoadedTexture {
public:
    /// Registers the new handle.
    CLoadedTexture();
    /// Unregisters it; references still pointing at it must not be used afterwards.
    virtual ~CLoadedTexture();
    CLoadedTexture(const CLoadedTexture&) = delete;
    CLoadedTexture& operator=(const CLoadedTexture&) = delete;

    /// Names the handle and asks the manager for the texture (loading it when needed); none
    /// for an empty name or a name found nowhere.
    void Init(const std::string& name);
    /// Sets the texture (or none) on stage 0 through the manager's redundancy filter.
    void Set();
    /// Sets the texture on any stage directly; the manager's next stage-0 set then reaches
    /// the device whatever it remembers.
    void SetOnStage(DWORD stage);
    IDirect3DTexture9* GetTexture();
    std::string GetName() const { return Name; }
    void SetTexturePointer(IDirect3DTexture9* texture);

    /// The first registered handle of that name, or a new registered one.
    static CLoadedTexture* FindOrCreate(const std::string& name);
    /// Init again, by its own name, for every registered handle in registry order.
    static void ReloadAll();
    /// Takes the first handle of that name out of the registry (it is not destroyed) and
    /// drops its texture, which the manager is about to destroy.
    static void Remove(const std::string& name);
    /// Every handle caching texture drops it; the manager calls this before destroying it.
    static void DropTexture(IDirect3DTexture9* texture);

private:
    /// Fetches a dropped texture again by name.
    void Refetch();

    std::string Name;
    IDirect3DTexture9* Texture = nullptr;
    bool Dropped = false;
};

/// Every live handle in creation order. Not owning.
std::vector<CLoadedTexture*>& LoadedTextures();

class CTextureRef {
public:
    /// Shares the registered handle of that name, creating it when needed.
    void SetByName(const std::string& name);
    /// Refers to a new unnamed handle holding texture (it has none after a ReloadAll).
    void SetFromTexture(IDirect3DTexture9* texture);
    /// Without a target these do nothing, and the stage keeps its texture.
    void Set();
    void SetOnStage(DWORD stage);
    IDirect3DTexture9* GetTexture();
    std::string GetName() const;
    CLoadedTexture* GetTarget() const { return Target; }

private:
    CLoadedTexture* Target = nullptr;
};
