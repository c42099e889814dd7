#include "data/uDataMod.h"

TDataMod::TDataMod() = default;
TDataMod::~TDataMod() = default;
