#pragma once

#include <QtGlobal>

#include <functional>

// Milliseconds of a monotonic clock, truncated to 32 bits: it wraps about
// every 49.7 days, so elapsed times are differences taken modulo 2^32.
quint32 GetTickCount();

// Replaces the clock (tests use it to stand just before a wrap); an empty
// function restores the real one.
void SetTickSource(std::function<quint32()> aSource);
