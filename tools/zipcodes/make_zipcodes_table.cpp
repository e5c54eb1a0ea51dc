// usage: make_zipcodes_table <ZIPCODES.csv> <folder>
// Writes <folder>/ZIPCODES.edt from the converter's CSV file.

#include "tools/zipcodes/ZipcodesTable.h"

#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::cerr << "usage: make_zipcodes_table <ZIPCODES.csv> <folder>\n";
        return 2;
    }
    try {
        std::ifstream in(argv[1], std::ios::binary);
        if (!in) throw std::runtime_error(std::string("cannot read ") + argv[1]);
        std::ostringstream text;
        text << in.rdbuf();
        const std::size_t count = WriteZipCodesTable(argv[2], ParseZipCsv(text.str()));
        std::cout << "ZIPCODES: " << count << " rows in " << argv[2] << "\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "make_zipcodes_table: " << e.what() << "\n";
        return 1;
    }
}
