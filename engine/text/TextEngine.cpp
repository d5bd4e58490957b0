#include "text/TextEngine.h"

TextManager& GetTextManager() {
    static TextManager manager;
    return manager;
}

void TextManager::Release() {
    VB.Release();
    Initialised = false;
}
