#include "diagnostics/AngleHelpers.h"

#include <cmath>

namespace {

// Single-precision pi and degrees-per-radian: bearings computed elsewhere in the engine with
// these exact values must compare equal to ours.
const float kPi = 3.1415927410125732f;
const float kDegreesPerRadian = 57.295776367187500f;

}  // namespace

float BearingBetweenPoints(double x1, double y1, double x2, double y2) {
    double t = std::atan2(y2 - y1, x2 - x1);
    t += kPi;
    t *= kDegreesPerRadian;
    float bearing = static_cast<float>(t) - 90.0f;
    if (bearing < 0.0f) bearing += 360.0f;
    return bearing;
}

double AtanBetweenPoints(double x1, double y1, double x2, double y2) {
    return std::atan2(y2 - y1, x2 - x1);
}

float DistanceBetweenPoints(float x1, float y1, float x2, float y2) {
    return std::sqrt(DistanceSquared(x1, y1, x2, y2));
}

float DistanceSquared(float x1, float y1, float x2, float y2) {
    float dx = x2 - x1;
    float dy = y2 - y1;
    return dx * dx + dy * dy;
}

float AngleDifference(float a, float b) {
    float d = std::fabs(a - b);
    return d > 180.0f ? 360.0f - d : d;
}

bool TurnsClockwise(float from, float to) {
    float d = to - from;
    if (d < 0.0f) d += 360.0f;
    return d < 180.0f;
}

float TurnTowards(float current, float target, float maxStep) {
    if (AngleDifference(current, target) <= maxStep) return target;
    float d = target - current;
    if (d < 0.0f) d += 360.0f;
    float result = d < 180.0f ? current + maxStep : current - maxStep;
    if (result < 0.0f) result += 360.0f;
    if (result >= 360.0f) result -= 360.0f;
    return result;
}
