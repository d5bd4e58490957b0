#include "render/GVertexCache.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "render/GVertexBuffer.h"

GVertexCache::GVertexCache(int capacity) {
    if (capacity <= 0) return;
    Verts = new (std::nothrow) ScreenVertex[capacity];
    if (Verts != nullptr) Capacity = capacity;
}

GVertexCache::~GVertexCache() {
    delete[] Verts;
}

void GVertexCache::AddVerts(const ScreenVertex* source, int count) {
    if (source == nullptr || count <= 0) return;
    const int taken = std::min(count, Capacity - Count);
    if (taken <= 0) return;
    std::memcpy(Verts + Count, source, taken * sizeof(ScreenVertex));
    Count += taken;
}

void GVertexCache::Draw() {
    // A cache larger than GlobalVB goes out in whole quads of at most its capacity, each drawn
    // before the next is added, so no vertex is dropped.
    const int chunk = GlobalVB.VertsUsed >= 4 ? GlobalVB.VertsUsed / 4 * 4 : GlobalVB.VertsUsed;
    if (chunk <= 0 || Count <= 0) {
        GlobalVB.Draw();
        return;
    }
    for (int first = 0; first < Count; first += chunk) {
        GlobalVB.AddVerts(Verts + first, std::min(chunk, Count - first));
        GlobalVB.Draw();
    }
}
