#include "dbaccess/edstransaction.h"

#include "dbaccess/edsapi.h"
#include "dbaccess/edscnnct.h"
#include "dbaccess/edsdata.h"
#include "dbaccess/edsfunc.h"

TEdsTransaction::TEdsTransaction(TEdsDataSet& DataSet) : dataSet_(DataSet) {
    if (TEdsConnection* component = DataSet.EdsConnection()) {
        if (!component->IsConnected()) component->SetIsConnected(true);
        connection_ = component->ConnectionHandle();
    } else {
        connection_ = DynamicConnList().Connect(DataSet.GetConnectPath());
    }
    CheckEdsError(&DataSet, EdsApi.EdsBeginTransaction(connection_));
    open_ = true;
}

TEdsTransaction::~TEdsTransaction() {
    if (open_) EdsApi.EdsRollbackTransaction(connection_);
}

void TEdsTransaction::Commit() {
    CheckEdsError(&dataSet_, EdsApi.EdsCommitTransaction(connection_));
    open_ = false;
}
