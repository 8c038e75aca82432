#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/context.h"

namespace chatterwick::modCSV {

// Every field in quotation marks, a quotation mark inside doubled.
std::string FormatCsvRow(std::initializer_list<std::string_view> fields);
void AppendCsvRow(std::string* out, std::initializer_list<std::string_view> fields);

// Puts EF BB BF at the start of an absent or empty file; a file that already
// holds content is left untouched and the call fails.
Status WriteUtf8Bom(Env& env, const std::string& path);

// The five catalogue files, in the order they are deleted and written.
inline constexpr const char* kCatalogueFiles[] = {"protocols.csv", "accounts.csv", "contacts.csv",
                                                  "conversations.csv", "chat.csv"};

void WalkLogRoot(Context& ctx, const std::string& root);
void WalkProtocol(Context& ctx, const std::string& path, modGlobal::ProtocolEntry protocol);
void WalkAccount(Context& ctx, const std::string& path, modGlobal::CatalogueEntry account);
void WalkContact(Context& ctx, const std::string& path, modGlobal::CatalogueEntry contact);

void PrepareCatalogueRun(Context& ctx);
// False when a file could not be written; the pane says which and why.
bool WriteCatalogueCsv(Context& ctx);

// F / N as a percentage, rounded half to even to two places, shortest text.
std::string FailureShare(int32_t failed, int32_t lines);

}  // namespace chatterwick::modCSV
