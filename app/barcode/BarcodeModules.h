#pragma once
// Internal to the barcode unit: the module builders behind BarcodeModules().
// Each returns '1' bar / '0' space (POSTNET also 'h' half bar), quiet zones
// excluded, and ends where its symbology meets a character it cannot carry.

#include <string>
#include <string_view>

namespace barcode_detail {

// Appends elements of the given widths ('1'..'9'), alternating bar and space,
// bar first.
void AppendWidths(std::string& modules, std::string_view widths);

std::string Code128Modules(std::string_view text, bool withFNC1);
std::string Code39Modules(std::string_view text);
std::string Code39ExtModules(std::string_view text);
std::string Code93Modules(std::string_view text);
std::string Int2of5Modules(std::string_view text);
std::string UPCAModules(std::string_view text);
std::string EAN13Modules(std::string_view text);
std::string EAN8Modules(std::string_view text);
std::string UPCEModules(std::string_view text);
std::string UPC2extModules(std::string_view text);
std::string UPC5extModules(std::string_view text);
std::string POSTNETModules(std::string_view text);

// Number of Code 39 characters (1 or 2) that carry the character, 0 for none.
int Code39ExtLength(unsigned char c);
// Number of Code 93 symbols (1 or 2) that carry the character, 0 for none.
int Code93Length(unsigned char c);

}  // namespace barcode_detail
