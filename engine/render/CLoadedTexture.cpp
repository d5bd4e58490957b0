#include "render/CLoadedTexture.h"

#include <algorithm>
#include <cstdio>

#include "diagnostics/GDebugLog.h"
#include "render/GD3D9.h"
#include "render/GTextureManager.h"

std::vector<CLoadedTexture*>& LoadedTextures() {
    // Never destroyed: handles with static storage unregister at exit, and the handles the
    // registry made stay reachable until the process ends.
    static std::vector<CLoadedTexture*>* registry = new std::vector<CLoadedTexture*>;
    return *registry;
}

namespace {

// Every live handle, registered or taken out by Remove: a removed handle may still be used
// through old references, so it must hear about destroyed textures too.
std::vector<CLoadedTexture*>& LiveHandles() {
    static std::vector<CLoadedTexture*>* handles = new std::vector<CLoadedTexture*>;
    return *handles;
}

void Unlist(std::vector<CLoadedTexture*>& list, CLoadedTexture* handle) {
    auto it = std::find(list.begin(), list.end(), handle);
    if (it != list.end()) list.erase(it);
}

}  // namespace

CLoadedTexture::CLoadedTexture() {
    LoadedTextures().push_back(this);
    LiveHandles().push_back(this);
}

CLoadedTexture::~CLoadedTexture() {
    Unlist(LoadedTextures(), this);
    Unlist(LiveHandles(), this);
}

void CLoadedTexture::Init(const std::string& name) {
    Name = name;
    Dropped = false;
    Texture = name.empty() ? nullptr : GetTextureManager().GetTexture(name);
}

void CLoadedTexture::Refetch() {
    if (!Dropped) return;
    Dropped = false;
    if (!Name.empty()) Texture = GetTextureManager().GetTexture(Name);
}

void CLoadedTexture::Set() {
    Refetch();
    GetTextureManager().SetTexture(Texture);
}

void CLoadedTexture::SetOnStage(DWORD stage) {
    Refetch();
    GD3D9& engine = GetD3DEngine();
    if (engine.PDevice == nullptr) {
        engine.DrawLog("CLoadedTexture::SetOnStage: no Direct3D device");
        return;
    }
    engine.PDevice->SetTexture(stage, Texture);
    GetTextureManager().ForceNextSet = true;
}

IDirect3DTexture9* CLoadedTexture::GetTexture() {
    Refetch();
    return Texture;
}

void CLoadedTexture::SetTexturePointer(IDirect3DTexture9* texture) {
    Texture = texture;
    Dropped = false;
}

CLoadedTexture* CLoadedTexture::FindOrCreate(const std::string& name) {
    for (CLoadedTexture* handle : LoadedTextures()) {
        if (handle->Name == name) return handle;
    }
    CLoadedTexture* handle = new CLoadedTexture();
    handle->Init(name);
    return handle;
}

void CLoadedTexture::ReloadAll() {
    // Init may load files but never adds or removes handles, so the walk is stable.
    for (CLoadedTexture* handle : LoadedTextures()) handle->Init(handle->Name);
}

void CLoadedTexture::Remove(const std::string& name) {
    std::vector<CLoadedTexture*>& registry = LoadedTextures();
    auto it = std::find_if(registry.begin(), registry.end(),
                           [&](const CLoadedTexture* handle) { return handle->Name == name; });
    if (it == registry.end()) return;
    CLoadedTexture* handle = *it;
    registry.erase(it);
    if (handle->Texture != nullptr) {
        handle->Texture = nullptr;
        handle->Dropped = true;
    }
    char message[256];
    snprintf(message, sizeof message, "Removed CLoadedTexture: %s\n", name.c_str());
    GetDebugLog().Log(message);
}

void CLoadedTexture::DropTexture(IDirect3DTexture9* texture) {
    if (texture == nullptr) return;
    for (CLoadedTexture* handle : LiveHandles()) {
        if (handle->Texture == texture) {
            handle->Texture = nullptr;
            handle->Dropped = true;
        }
    }
}

void CTextureRef::SetByName(const std::string& name) {
    Target = CLoadedTexture::FindOrCreate(name);
}

void CTextureRef::SetFromTexture(IDirect3DTexture9* texture) {
    Target = new CLoadedTexture();
    Target->SetTexturePointer(texture);
}

void CTextureRef::Set() {
    if (Target != nullptr) Target->Set();
}

void CTextureRef::SetOnStage(DWORD stage) {
    if (Target != nullptr) Target->SetOnStage(stage);
}

IDirect3DTexture9* CTextureRef::GetTexture() {
    return Target != nullptr ? Target->GetTexture() : nullptr;
}

std::string CTextureRef::GetName() const {
    return Target != nullptr ? Target->GetName() : std::string();
}
