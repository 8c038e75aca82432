#pragma once

#include <string>
#include <string_view>
#include <vector>

// Rules every folder listing follows, whatever the file system behind it.
namespace chatterwick::listing {

// Case-insensitive name order: ASCII letters folded to upper case, ties in
// byte order. Two runs over one tree therefore number it the same.
void SortNames(std::vector<std::string>* names);

// Splits a listing pattern at its last "/": the folder
// (with its separator, empty when there is none) and the name pattern.
void SplitPattern(std::string_view pattern, std::string* folder, std::string* name_pattern);

// A run of "/" read as one; "\" is part of a name here.
std::string ToPosixPath(std::string_view path);

}  // namespace chatterwick::listing
