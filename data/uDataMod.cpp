#include "data/uDataMod.h"

TDataMod *DataMod = nullptr;

TDataMod::TDataMod() = default;
TDataMod::~TDataMod() = default;
