#include "render/GTextureManager.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "data/GBufferedFile.h"
#include "diagnostics/GDebugLog.h"
#include "diagnostics/GFile.h"
#include "pak/GFileList.h"
#include "pak/GPakFile.h"
#include "platform/Platform.h"
#include "render/CLoadedTexture.h"
#include "render/FrameRecorder.h"
#include "render/GD3D9.h"
#include "render/GTextureScalar.h"
#include "render/GVertexBuffer.h"
#include "text/TextEngine.h"

namespace {

// The part of a path after its last separator of either kind.
std::string LastComponent(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Stores what the image helpers created in the record, or reports their failure.
bool TakeCreatedTexture(HRESULT hr, IDirect3DTexture9* created, const D3DXIMAGE_INFO& info,
                        GTexture9* texture) {
    if (FAILED(hr) || created == nullptr) {
        GD3D9::LogD3DError(hr, "CreateTextureD3DX");
        return false;
    }
    texture->PSurf = created;
    texture->Width = static_cast<int32_t>(info.Width);
    texture->Height = static_cast<int32_t>(info.Height);
    return true;
}

}  // namespace

GTextureManager& GetTextureManager() {
    static GTextureManager manager;
    return manager;
}

GTexture9::~GTexture9() {
    // Past the engine's life (a manager destroyed at exit) there is no draw log to write to.
    if (GD3D9* engine = GD3D9::Live()) {
        char message[256];
        snprintf(message, sizeof message, "Deleting texture: %s", Name.c_str());
        engine->DrawLog(message);
    }
    if (PSurf != nullptr) {
        PSurf->Release();
        PSurf = nullptr;
    }
    if (PTarget != nullptr) {
        PTarget->Release();
        PTarget = nullptr;
    }
}

GTextureManager::GTextureManager() {
    // The registry of shared handles is told about every destroyed texture, up to the end.
    LoadedTextures();
    GetDebugLog();
}

GTextureManager::~GTextureManager() {
    // The engine's Release empties the list before the manager goes; whatever a host left
    // without an engine is freed here.
    for (GTexture9* texture : Textures) DestroyTexture(texture);
    Textures.clear();
    delete TexturePak;
    TexturePak = nullptr;
}

// ---- Lookup ----

GTexture9* GTextureManager::FindTexture(const std::string& name) {
    for (GTexture9* texture : Textures) {
        if (texture->Name == name) return texture;
    }
    return nullptr;
}

bool GTextureManager::HasTexture(const std::string& name) {
    return FindTexture(name) != nullptr;
}

GTexture9* GTextureManager::FindTextureByRecord(IDirect3DTexture9* record) {
    for (GTexture9* texture : Textures) {
        if (texture->PSurf == record) return texture;
    }
    return nullptr;
}

IDirect3DTexture9* GTextureManager::GetTexture(const std::string& name) {
    GTexture9* texture = FindTexture(name);
    if (texture == nullptr && LoadTexture(name)) texture = FindTexture(name);
    return texture != nullptr ? texture->PSurf : nullptr;
}

void GTextureManager::GetTextureSize(const std::string& name, float& width, float& height) {
    const GTexture9* texture = FindTexture(name);
    width = texture != nullptr ? static_cast<float>(texture->Width) : 0.0f;
    height = texture != nullptr ? static_cast<float>(texture->Height) : 0.0f;
}

bool GTextureManager::IsTextureAvailable(const std::string& name) {
    if (name.empty()) {
        GetD3DEngine().DrawLog("Attempt to find blank texture");
        return false;
    }
    if (TexturePak != nullptr && TexturePak->Find(name) != nullptr) return true;
    for (const std::string& file : FileNames) {
        if (file == name) return true;
    }
    return false;
}

// ---- Stage 0 ----

void GTextureManager::SetTexture(IDirect3DTexture9* record) {
    if (!ForceNextSet && record == CurrentTexture) return;
    GD3D9& engine = GetD3DEngine();
    if (engine.PDevice == nullptr) {
        engine.DrawLog("GTextureManager::SetTexture: no Direct3D device");
        return;
    }
    engine.PDevice->SetTexture(0, record);
    CurrentTexture = record;
    if (RecordTextureUse) GetTextureUseList().AddTexture(record);
    ForceNextSet = false;
}

void GTextureManager::SetTextureByName(const std::string& name) {
    // A load that succeeds always registers the name, so the second look finds it.
    for (int attempt = 0; attempt < 2; attempt++) {
        GTexture9* texture = FindTexture(name);
        if (texture != nullptr) {
            SetTexture(texture->PSurf);
            GetFrameRecorder().Record("SetTextureByName", texture->Name, 0);
            return;
        }
        if (attempt > 0 || !LoadTexture(name)) break;
    }
    char message[128];
    snprintf(message, sizeof message, "Failed to locate texture: %s", name.c_str());
    GetD3DEngine().DrawLog(message);
}

// ---- Sources ----

void GTextureManager::AddTextureFolder(const std::string& folder) {
    for (const std::string& known : TextureFolders) {
        if (known == folder) return;
    }
    TextureFolders.push_back(folder);
    char search[512];
    const int n = snprintf(search, sizeof search, "%s\\*.*", folder.c_str());
    if (n < 0 || static_cast<size_t>(n) >= sizeof search) {
        GetD3DEngine().DrawLog("AddTextureFolder: folder path too long: " + folder);
        return;
    }
    std::vector<Platform::FindData> entries;
    if (!Platform::FindEntries(search, entries)) return;
    for (const Platform::FindData& entry : entries) {
        // A link to a folder could lead out of the tree or round it for ever.
        if (!entry.Folder || entry.Link || entry.Name.empty() || entry.Name[0] == '.') continue;
        char sub[512];
        const int m = snprintf(sub, sizeof sub, "%s\\%s", folder.c_str(), entry.Name.c_str());
        if (m < 0 || static_cast<size_t>(m) >= sizeof sub) {
            GetD3DEngine().DrawLog("AddTextureFolder: folder path too long: " + folder);
            continue;
        }
        AddTextureFolder(sub);
    }
}

void GTextureManager::RebuildFileList() {
    FileNames.clear();
    std::vector<std::string> names;
    for (const std::string& folder : TextureFolders) {
        GFileList list;
        list.AddFiles(folder + "/*.*");
        for (const std::string& path : list) names.push_back(LastComponent(path));
    }
    FileNames.swap(names);
}

void GTextureManager::OpenTexturePak(const std::string& path) {
    // One pak at a time: the earlier archive is closed, not leaked.
    delete TexturePak;
    TexturePak = new GPakFile();
    TexturePak->Load(path);
}

bool GTextureManager::LoadTexture(const std::string& name) {
    if (name.empty()) {
        GetD3DEngine().DrawLog("Attempt to create blank texture");
        return false;
    }
    if (TexturePak != nullptr && TexturePak->Find(name) != nullptr) {
        LoadTextureFile(name, "");
        return true;
    }
    for (const std::string& folder : TextureFolders) {
        if (GFile::Exists(folder + "/" + name)) {
            LoadTextureFile(name, folder);
            return true;
        }
    }
    return false;
}

bool GTextureManager::LoadTextureFromFolder(const std::string& name, const std::string& folder) {
    // A name without an extension has nothing to search by.
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    char search[260];
    const int n =
        snprintf(search, sizeof search, "%s\\*%s", folder.c_str(), name.substr(dot).c_str());
    if (n < 0 || static_cast<size_t>(n) >= sizeof search) {
        GetD3DEngine().DrawLog("LoadTextureFromFolder: path too long: " + name);
        return false;
    }
    std::vector<Platform::FindData> entries;
    if (!Platform::FindEntries(search, entries)) return false;
    for (const Platform::FindData& entry : entries) {
        if (entry.Name == name) {
            LoadTextureFile(entry.Name, folder);
            return true;
        }
    }
    return false;
}

void GTextureManager::LoadTextureFile(const std::string& name, const std::string& folder) {
    auto texture = std::make_unique<GTexture9>();
    texture->Name = name;

    std::string file = name;
    const GTextureScalar::TextureScaleData* replacement = GetTextureScalar().Find(name);
    if (replacement != nullptr && !replacement->File.empty()) file = replacement->File;

    // Paths are refused rather than cut: a cut path would load some other file.
    char path[260];
    const int n = folder.empty()
                      ? snprintf(path, sizeof path, "%s", file.c_str())
                      : snprintf(path, sizeof path, "%s\\%s", folder.c_str(), file.c_str());
    bool created = false;
    if (file.size() >= sizeof path || n < 0 || static_cast<size_t>(n) >= sizeof path) {
        GetD3DEngine().DrawLog("LoadTextureFile: path too long: " + name);
    } else {
        // JPEG photos and composites are minified a lot: they get a full mip chain.
        const std::string pathText = path;
        const bool fullChain = name.find(".jpg") != std::string::npos ||
                               pathText.find("composites") != std::string::npos;
        created =
            CreateTextureD3DX(fullChain ? D3DX_DEFAULT : D3DX_FROM_FILE, texture.get(), pathText);
    }
    if (!created) {
        char message[300];
        snprintf(message, sizeof message, "Error creating texture:[%.260s]", name.c_str());
        GetD3DEngine().DrawLog(message);
    }
    // The record stays even without a texture: it stands for the name, so SetTextureByName
    // does not load it again and again, and it sets no texture.
    GetD3DEngine().DrawLog(name);
    AddTexture(texture.release());
}

bool GTextureManager::CreateTextureD3DX(UINT mipLevels, GTexture9* texture,
                                        const std::string& path) {
    std::unique_ptr<char[]> pakData;
    GBufferedFile file;
    const void* pdata = nullptr;
    UINT buffersize = 0;
    const GPakEntry* entry =
        TexturePak != nullptr ? TexturePak->Find(LastComponent(path)) : nullptr;
    if (entry != nullptr) {
        FILE* stream = TexturePak->GetHandle();
        pakData.reset(new char[entry->Size > 0 ? entry->Size : 1]);
        const bool read = stream != nullptr && fseek(stream, entry->Offset, SEEK_SET) == 0 &&
                          fread(pakData.get(), 1, entry->Size, stream) == entry->Size;
        if (!read) {
            // A short read would hand the decoder uninitialised bytes.
            char message[300];
            snprintf(message, sizeof message, "CreateTextureD3DX: short read from the pak: %.200s",
                     entry->Name);
            GetD3DEngine().DrawLog(message);
            return false;
        }
        pdata = pakData.get();
        buffersize = entry->Size;
    } else if (file.Load(path)) {
        pdata = file.GetData();
        buffersize = static_cast<UINT>(file.GetSize());
    }

    D3DXIMAGE_INFO info;
    std::memset(&info, 0, sizeof info);
    IDirect3DTexture9* created = nullptr;
    const HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(
        GetD3DEngine().PDevice, pdata, buffersize, D3DX_DEFAULT, D3DX_DEFAULT, mipLevels, 0,
        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, &info, nullptr, &created);
    return TakeCreatedTexture(hr, created, info, texture);
}

bool GTextureManager::CreateTextureD3DXFromFile(UINT mipLevels, GTexture9* texture,
                                                const std::string& path) {
    D3DXIMAGE_INFO info;
    std::memset(&info, 0, sizeof info);
    IDirect3DTexture9* created = nullptr;
    const HRESULT hr = D3DXCreateTextureFromFileExA(
        GetD3DEngine().PDevice, Platform::NativePath(path).c_str(), D3DX_DEFAULT, D3DX_DEFAULT,
        mipLevels, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, &info,
        nullptr, &created);
    return TakeCreatedTexture(hr, created, info, texture);
}

// ---- Registration and release ----

void GTextureManager::AddTexture(GTexture9* texture) {
    if (texture != nullptr) Textures.push_back(texture);
}

void GTextureManager::DeleteTexture(const std::string& name) {
    CLoadedTexture::Remove(name);
    DeleteTextureByName(name);
}

void GTextureManager::DeleteTextureByName(const std::string& name) {
    std::vector<GTexture9*> kept;
    bool deleted = false;
    for (GTexture9* texture : Textures) {
        if (texture->Name != name) {
            kept.push_back(texture);
            continue;
        }
        char message[256];
        snprintf(message, sizeof message, "deleted texture: %s\n", name.c_str());
        GetDebugLog().Log(message);
        DestroyTexture(texture);
        deleted = true;
    }
    Textures.swap(kept);
    if (deleted) ForgetCurrentTexture();
}

void GTextureManager::ReleaseTextures() {
    if (Textures.empty()) return;
    for (GTexture9* texture : Textures) DestroyTexture(texture);
    Textures.clear();
    ForgetCurrentTexture();
}

void GTextureManager::ReleaseForRestore() {
    if (Textures.empty()) {
        // The text manager's and GlobalVB's buffers belong to the old device all the same:
        // kept, they would block its reset and be drawn into the new one.
        GetTextManager().Release();
        GlobalVB.Release();
        return;
    }
    GD3D9& engine = GetD3DEngine();
    engine.DrawLog("Releasing TextureManager textures...");
    ReleaseTextures();
    engine.DrawLog("Releasing Textmanager...");
    GetTextManager().Release();
    engine.DrawLog("Releasing GlobalVB...");
    GlobalVB.Release();
}

void GTextureManager::DestroyTexture(GTexture9* texture) {
    CLoadedTexture::DropTexture(texture->PSurf);
    if (texture->PSurf == CurrentTexture) ForgetCurrentTexture();
    delete texture;
}

void GTextureManager::ForgetCurrentTexture() {
    CurrentTexture = nullptr;
    ForceNextSet = true;
}
