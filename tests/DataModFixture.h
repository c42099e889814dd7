#pragma once

// The data module as the program holds it, for a suite that keeps one as a
// member: the embedded scripts registered, the program's DataMod pointing at
// it until the suite ends.

#include "data/uDataMod.h"

#include <QtGlobal>

class TDataModFixture : public TDataMod
{
public:
    TDataModFixture()
    {
        Q_INIT_RESOURCE(resources);
        DataMod = this;
    }
    ~TDataModFixture()
    {
        if (DataMod == this)
            DataMod = nullptr;
    }
};
