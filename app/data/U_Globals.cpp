#include "app/data/U_Globals.h"

std::string gYourAddress1, gYourAddress2, gYourAddress3, gYourAddress4, gYourCity, gYourState, gYourZip;
std::string gToAddress1, gToAddress2, gToAddress3, gToAddress4, gToCity, gToState, gToZip;
std::string gEditAddress1, gEditAddress2, gEditAddress3, gEditAddress4, gEditCity, gEditState, gEditZip;
std::string gEditAddress5;
std::string gSingleEditText;
std::int32_t gNumLabels = 0;

std::string gCustID;
std::string gSerialNum;
bool gPrintBarCode = false;
bool gIncrement = false;

bool gPriority = false;
int gFormMode = 1;
bool gShowPrintedNotice = true;
int gLabelRow = 0;
int gLabelCol = 0;

std::string gArticleNumber;
std::string gBarcodeData;
std::string gArticleNumberT;
std::string gBarcodeDataT;
std::string gArticleNumberF;
std::string gBarcodeDataF;
