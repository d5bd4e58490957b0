/// @file
/// 2D geometry in screen coordinates (x right, y down). Bearings are degrees clockwise on
/// screen: 0 up, 90 right, 180 down, 270 left.
#pragma once

/// Bearing from the first point to the second, from 0 up to 360.
float BearingBetweenPoints(double x1, double y1, double x2, double y2);
/// atan2(y2 - y1, x2 - x1) in radians.
double AtanBetweenPoints(double x1, double y1, double x2, double y2);
float DistanceBetweenPoints(float x1, float y1, float x2, float y2);
float DistanceSquared(float x1, float y1, float x2, float y2);
/// The smaller angle between two bearings, from 0 to 180.
float AngleDifference(float a, float b);
/// True when turning from one bearing to the other by increasing bearing is under 180 degrees.
bool TurnsClockwise(float from, float to);
/// One step of at most maxStep degrees from current toward target, the shorter way round.
float TurnTowards(float current, float target, float maxStep);
