#pragma once

#include <string>
#include <string_view>

// The little of HTML a log's text needs: tags out, line breaks as blanks (or
// kept), character references as the characters they stand for.
namespace chatterwick {

// What a message's own line breaks become: a blank, for what shows a
// message on one line (a log's listing, the catalogue), or "\n", for what
// keeps a message as it was written (the archive).
enum class LineBreaks { kBlank, kKept };

// The text with every complete tag removed, searching each ">" from its "<";
// a "<" with no ">" after it stops the stripping and the rest stays. A line
// break tag (<br>, <br/>, <br />, any letter case, any attributes) becomes one
// blank where visible text (anything but tags, spaces and tabs) follows it.
// With LineBreaks::kKept, one between visible texts becomes "\n" instead,
// and so does a paragraph's, division's or list item's boundary.
std::string StripTags(std::string_view text, LineBreaks breaks = LineBreaks::kBlank);
// The same, into *out (its buffer is reused).
void StripTagsInto(std::string_view text, std::string* out, LineBreaks breaks = LineBreaks::kBlank);

// Replaces &amp; &lt; &gt; &quot; &apos; &nbsp; and the numeric references
// &#N; and &#xH; (code points 1 to 10FFFF outside the surrogates) with their
// characters in UTF-8, each once; anything else stays as it is. The text
// never grows.
void DecodeReferences(std::string* text);

}  // namespace chatterwick
