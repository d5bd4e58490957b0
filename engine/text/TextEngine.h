// The text manager: lays strings out as textured glyph quads from bitmap fonts and draws
// them through its own vertex buffer. One per process, reached through GetTextManager.
//
// So far it has its life-cycle flag and its release, which a device restore calls.
#pragma once

#include "render/GVertexBuffer.h"

class TextManager {
public:
    TextManager() = default;
    TextManager(const TextManager&) = delete;
    TextManager& operator=(const TextManager&) = delete;

    // Drops the fonts and the vertex buffer's graphics resources; Init must run again
    // before the next text is drawn.
    void Release();
    bool IsInitialised() const { return Initialised; }

private:
    GVertexBuffer VB;
    bool Initialised = false;
};

TextManager& GetTextManager();
