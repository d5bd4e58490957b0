/// @file
/// Process-wide random numbers: two tables of floats in [0, 1) filled once from a seeded
/// generator and read in cycles, plus a few draws straight from the generator. The generator is
/// our own so that one seed gives the same tables and picks on every platform and C runtime.
#pragma once

#include <cstdint>

/// The portable generator: state = state * 214013 + 2531011 (mod 2^32), 15-bit results.
void SeedRand(uint32_t seed);
/// The next value from 0 to 32767.
int NextRand();

/// Fills both tables with count entries each; a seed of -1 takes the millisecond clock.
void InitRandom(int count, int seed);
/// Frees both tables; reads then answer 0.0 until the next InitRandom.
void FreeRandom();

/// The first table, read in a cycle.
float GetRandom();
float RandomRange(float min, float max);
bool RandomChance(float p);

/// The second table, with its own read position.
float GetRandomB();
float RandomRangeB(float min, float max);
bool RandomChanceB(float p);
/// 0 to n - 1 for n > 0, from the second table.
int RandomInt(int n);

/// Straight from the generator: NextRand() / 32768.
float Rand01();
float LiveRandomRange(float min, float max);
int LiveRandomInt(int n);
