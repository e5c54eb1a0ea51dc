// Turns ZIPCODES.csv (from zipcodes_to_csv.js) into the table ZIPCODES.edt
// that the program's ZIP lookup reads.
//
// usage: zipcodes_to_edt <ZIPCODES.csv> <ZIPCODES.edt>
#include "app/U_dmSendoProZipCodes.h"

#include <exception>
#include <iostream>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::cerr << "usage: zipcodes_to_edt <ZIPCODES.csv> <ZIPCODES.edt>\n";
        return 2;
    }
    try {
        const int rows = WriteZipCodesTable(argv[1], argv[2]);
        std::cout << "ZIPCODES: " << rows << " rows written to " << argv[2] << '\n';
        return 0;
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
}
