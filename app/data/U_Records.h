#pragma once
// The plain records that list items and tree nodes of the mailing windows
// carry. The item or node that holds one owns it.

#include <cstdint>
#include <string>

// One row of the address book or of the return-address table.
class TAddressRec {
public:
    TAddressRec(std::int32_t ID, std::string Address1, std::string Address2, std::string Address3,
                std::string Address4, std::string City, std::string State, std::string Zip);

    std::int32_t ID;  // A_ID of the row
    std::string Address1, Address2, Address3, Address4, City, State, Zip;
};

// A node of the group tree; the root "All" holds -1, -1.
class TGroupRec {
public:
    TGroupRec(std::int32_t GroupID, std::int32_t ParentID);

    std::int32_t GroupID;   // G_ID
    std::int32_t ParentID;  // Parent_ID
};

// A log row in the returned-receipt lists.
class TMailerRec {
public:
    TMailerRec(std::string LID, std::string MailerNum, std::string ToAddress1, std::string ToAddress2,
               std::string ToAddress3, std::string ToAddress4, std::string ToCity, std::string ToState,
               std::string ToZip);

    std::string LID;  // the log row's number as text
    std::string MailerNum;
    std::string ToAddress1, ToAddress2, ToAddress3, ToAddress4, ToCity, ToState, ToZip;
};

// A saved filter: "AND" or "OR".
class TFilterRec {
public:
    explicit TFilterRec(std::string FilterCombination);

    std::string FilterCombination;
};

// One line of a saved filter.
class TFilterLineRec {
public:
    TFilterLineRec(std::string FieldName, std::string Operator, std::string Value);

    std::string FieldName;  // row 0..22 of the filter field table, as text
    std::string Operator;
    std::string Value;
};

// An entry of the report list.
class TReportRec {
public:
    TReportRec(std::string Orientation, bool Custom);

    std::string Orientation;  // "0" portrait
    bool Custom;              // false: from the report project file; true: table Reports
};
