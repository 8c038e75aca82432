#pragma once

#include <string>

namespace chatterwick {

// What a folder run reads besides the tree. The window fills it from its
// controls, the command line from its arguments; the defaults are the
// window's initial values.
struct CatalogueOptions {
  // Which files of a contact folder are logs: "*" any run, "?" any one character.
  std::string mask = "*.html";
  // The log root of a run started from the window; "%appdata%" in it is expanded.
  std::string folder = "%appdata%\\.purple\\logs\\";
  // Begin each CSV file with the UTF-8 byte-order mark.
  bool write_bom = true;
  // Read and parse the next logs on a second thread while one is stored.
  bool read_ahead = true;
};

// What saving the viewed log as CSV reads.
struct ExportOptions {
  // Begin a new or empty file with the UTF-8 byte-order mark.
  bool write_bom = true;
};

}  // namespace chatterwick
