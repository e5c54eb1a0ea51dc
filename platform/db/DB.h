#pragma once
// The dataset base in one include.

#include "platform/db/Bcd.h"
#include "platform/db/Convert.h"
#include "platform/db/DBError.h"
#include "platform/db/DBTypes.h"
#include "platform/db/DataLink.h"
#include "platform/db/DataSet.h"
#include "platform/db/FieldDefs.h"
#include "platform/db/Fields.h"
#include "platform/db/Params.h"
#include "platform/db/Streams.h"
#include "platform/db/Variant.h"
