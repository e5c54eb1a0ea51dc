#pragma once
// A transaction on the engine connection a dataset works through: its
// connection component, or the implicit connection of its folder. Begun by
// the constructor; Commit() makes it stick; anything else (an exception, an
// early return) rolls it back when the guard goes.

#include "platform/edsengine/eds.h"

class TEdsDataSet;

class TEdsTransaction {
public:
    // Raises EEDSDatabaseError when the engine cannot begin it.
    explicit TEdsTransaction(TEdsDataSet& DataSet);
    ~TEdsTransaction();
    TEdsTransaction(const TEdsTransaction&) = delete;
    TEdsTransaction& operator=(const TEdsTransaction&) = delete;

    // Raises EEDSDatabaseError when the commit fails; the guard then still
    // rolls back what is left.
    void Commit();

private:
    TEdsDataSet& dataSet_;
    EDSHANDLE connection_ = 0;
    bool open_ = false;
};
