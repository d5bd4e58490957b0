#include "misc/Random.h"

#include <new>

#include "diagnostics/GDebugLog.h"
#include "platform/Platform.h"

namespace {

uint32_t RandState = 1;

float* RandomValues = nullptr;
float* RandomValuesB = nullptr;
int RandomCount = 0;
int RandomPos = 0;
int RandomPosB = 0;
bool RandomReady = false;

// A read needs a filled table: before InitRandom, after FreeRandom and after an InitRandom of
// nothing there is none, and the read answers 0.0 instead of touching memory.
bool TableReadable(const float* table) {
    if (RandomReady && table != nullptr && RandomCount > 0) return true;
    GetDebugLog().LogError("Random not ready");
    return false;
}

// The next entry of a table, read in a cycle.
float ReadTable(const float* table, int& pos) {
    if (!TableReadable(table)) return 0.0f;
    if (pos < 0 || pos >= RandomCount) pos = 0;
    float value = table[pos];
    pos++;
    if (pos >= RandomCount) pos = 0;
    return value;
}

}  // namespace

void SeedRand(uint32_t seed) {
    RandState = seed;
}

int NextRand() {
    RandState = RandState * 214013u + 2531011u;
    return static_cast<int>((RandState >> 16) & 0x7FFF);
}

void InitRandom(int count, int seed) {
    FreeRandom();
    SeedRand(seed == -1 ? Platform::MillisecondTime() : static_cast<uint32_t>(seed));
    RandomCount = count > 0 ? count : 0;
    if (RandomCount > 0) {
        RandomValues = new (std::nothrow) float[RandomCount];
        RandomValuesB = new (std::nothrow) float[RandomCount];
        if (RandomValues == nullptr || RandomValuesB == nullptr) {
            char message[256];
            snprintf(message, sizeof(message), "InitRandom failed to allocate %d values", count);
            GetDebugLog().LogError(message);
            FreeRandom();
            RandomCount = 0;
        }
    }
    // The tables take alternate values of one sequence.
    for (int i = 0; i < RandomCount; i++) {
        RandomValues[i] = Rand01();
        RandomValuesB[i] = Rand01();
    }
    RandomPosB = 0;
    RandomPos = 0;
    RandomReady = true;
}

void FreeRandom() {
    delete[] RandomValues;
    delete[] RandomValuesB;
    RandomValues = nullptr;
    RandomValuesB = nullptr;
}

float GetRandom() {
    return ReadTable(RandomValues, RandomPos);
}

float RandomRange(float min, float max) {
    return (max - min) * GetRandom() + min;
}

bool RandomChance(float p) {
    return p > GetRandom();
}

float GetRandomB() {
    return ReadTable(RandomValuesB, RandomPosB);
}

float RandomRangeB(float min, float max) {
    return (max - min) * GetRandomB() + min;
}

bool RandomChanceB(float p) {
    return p > GetRandomB();
}

int RandomInt(int n) {
    return static_cast<int>(RandomRangeB(0.0f, static_cast<float>(n)));
}

float Rand01() {
    return static_cast<float>(NextRand()) / 32768.0f;
}

float LiveRandomRange(float min, float max) {
    return (max - min) * Rand01() + min;
}

int LiveRandomInt(int n) {
    return static_cast<int>(Rand01() * static_cast<float>(n));
}
