#pragma once

#include <cstdint>
#include <string>

#include "core/context.h"
#include "core/options.h"

// A folder run: the walk that fills the catalogue tables from a log tree, and
// the five CSV files and summary made from them.
namespace chatterwick {

// The five catalogue files, in the order they are deleted and written.
inline constexpr const char* kCatalogueFiles[] = {"protocols.csv", "accounts.csv", "contacts.csv",
                                                  "conversations.csv", "chat.csv"};

// Empties the catalogue, deletes the five files, tells the user the run
// begins and, when asked, starts each file with the byte-order mark.
void PrepareCatalogueRun(Context& ctx, const CatalogueOptions& options);

// Numbers the protocol folders under root (which should end with a
// separator), then each level's folders, then the logs matching mask, reading
// each log into the loaded log and its chat lines into the catalogue.
void WalkLogRoot(Context& ctx, const std::string& mask, const std::string& root);

// Appends the tables' rows to the five files and the summary to the pane;
// with the byte-order mark asked for, text is written safe for spreadsheets.
// False when a file could not be written; the pane says which and why.
[[nodiscard]] bool WriteCatalogueCsv(Context& ctx, const CatalogueOptions& options);

// F / N as a percentage, rounded half to even to two places, shortest text.
std::string FailureShare(int32_t failed, int32_t lines);

}  // namespace chatterwick
