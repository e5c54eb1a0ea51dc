#include "app/data/U_Records.h"

#include <utility>

TAddressRec::TAddressRec(std::int32_t ID, std::string Address1, std::string Address2, std::string Address3,
                         std::string Address4, std::string City, std::string State, std::string Zip)
    : ID(ID), Address1(std::move(Address1)), Address2(std::move(Address2)), Address3(std::move(Address3)),
      Address4(std::move(Address4)), City(std::move(City)), State(std::move(State)), Zip(std::move(Zip))
{
}

TGroupRec::TGroupRec(std::int32_t GroupID, std::int32_t ParentID) : GroupID(GroupID), ParentID(ParentID) {}

TMailerRec::TMailerRec(std::string LID, std::string MailerNum, std::string ToAddress1, std::string ToAddress2,
                       std::string ToAddress3, std::string ToAddress4, std::string ToCity, std::string ToState,
                       std::string ToZip)
    : LID(std::move(LID)), MailerNum(std::move(MailerNum)), ToAddress1(std::move(ToAddress1)),
      ToAddress2(std::move(ToAddress2)), ToAddress3(std::move(ToAddress3)), ToAddress4(std::move(ToAddress4)),
      ToCity(std::move(ToCity)), ToState(std::move(ToState)), ToZip(std::move(ToZip))
{
}

TFilterRec::TFilterRec(std::string FilterCombination) : FilterCombination(std::move(FilterCombination)) {}

TFilterLineRec::TFilterLineRec(std::string FieldName, std::string Operator, std::string Value)
    : FieldName(std::move(FieldName)), Operator(std::move(Operator)), Value(std::move(Value))
{
}

TReportRec::TReportRec(std::string Orientation, bool Custom) : Orientation(std::move(Orientation)), Custom(Custom) {}
