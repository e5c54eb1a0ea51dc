#include "app/data/U_FieldTables.h"

const std::array<std::string_view, LogFieldCount> LogFieldNames = {
    "DateTime",     "MailerNum",    "CustID",       "SerialNum",    "ToAddress1", "ToAddress2",
    "ToAddress3",   "ToAddress4",   "ToCity",       "ToState",      "ToZip",      "YourAddress1",
    "YourAddress2", "YourAddress3", "YourAddress4", "YourCity",     "YourState",  "YourZip",
    "Postage",      "Certified",    "Return",       "Restricted",   "Total",      "Department",
    "ProcessedBy",  "RE",           "Comment",      "Batch",        "Result",
};

const std::array<std::string_view, LogFieldCount> LogFieldCaptions = {
    "Date and Time(1.4)",
    "Mailer Number(1.65)",
    "Customer ID(1.0)",
    "Serial Number(1.1)",
    "To Address Line 1(2.2)",
    "To Address Line 2(2.2)",
    "To Address Line 3(2.2)",
    "To Address Line 4(2.2)",
    "To Address City(2.2)",
    "To Address State(0.7)",
    "To Address Zip(0.8)",
    "From Address Line 1(2.2)",
    "From Address Line 2(2.2)",
    "From Address Line 3(2.2)",
    "From Address Line 4(2.2)",
    "From Address City(2.2)",
    "From Address State(0.85)",
    "From Address Zip(0.8)",
    "Postage Fee(0.65)",
    "Certified Fee(0.7)",
    "Return Receipt Fee(1.1)",
    "Restricted Delivery(0.8)",
    "Total Fee(0.5)",
    "Department(1.5)",
    "Processed By(1.5)",
    "RE(1.85)",
    "Comment(2.2)",
    "Batch(0.5)",
    "Result(1.4)",
};

const std::array<double, LogFieldCount> LogFieldWidths = {
    1.4, 1.65, 1.0, 1.1, 2.2, 2.2, 2.2, 2.2, 2.2, 0.7, 0.8, 2.2, 2.2, 2.2, 2.2,
    2.2, 0.85, 0.8, 0.65, 0.7, 1.1, 0.8, 0.5, 1.5, 1.5, 1.85, 2.2, 0.5, 1.4,
};

const std::array<std::string_view, LogFilterCount> LogFilterCaptions = {
    "Date/Time", "Mailer Number", "Customer ID", "Serial Number",  "To",
    "To City",   "To State",      "To Zip",      "From",           "From City",
    "From State", "FromZip",      "Department",  "Processed By",   "RE",
    "Comment",   "Batch",         "Result",      "Postage Fee",    "Certified Fee",
    "Return Receipt", "Restricted Delivery Fee", "Total Fee",
};

const std::array<std::string_view, LogFilterCount> LogFilterFields = {
    "DateTime",  "MailerNum", "CustID",      "SerialNum",   "ToAddress", "ToCity",
    "ToState",   "ToZip",     "YourAddress", "YourCity",    "YourState", "YourZip",
    "Department", "ProcessedBy", "RE",       "Comment",     "Batch",     "Result",
    "Postage",   "Certified", "Return",      "Restricted",  "Total",
};
