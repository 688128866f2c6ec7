// Small helpers the tag readers and writers of every format share: UTF-8 texts to and from
// TagLib's, positions "n/N", a field's several values, values that hold nothing.
#pragma once

#include "FileTags.h"

#include <taglib/tbytevector.h>
#include <taglib/tstring.h>

#include <string>
#include <vector>

namespace bw::tagtext {

TagLib::String Utf8(const std::string& Text);
std::string FromTag(const TagLib::String& Text);
TagLib::ByteVector Bytes(const std::vector<unsigned char>& Data);
std::vector<unsigned char> FromBytes(const TagLib::ByteVector& Data);
// The decimal text of a positive number; empty for 0.
std::string Decimal(int Value);
// "n/N" as ID3v2, APEv2 and ASF carry a track or disc position; "n" alone without a total.
std::string Position(int Number, int Total);
// A field's values: its own, then its further ones (TFileTags::MoreValues under Key).
std::vector<std::string> AllValues(const TFileTags& Tags, std::string TFileTags::*Field,
                                   const char* Key);
// The number a text begins with (blanks before it allowed); 0 when none.
int LeadingNumber(const std::string& Text);
// The text without what makes no value: byte-order marks before it (read as such, or as the
// Latin-1 "þÿ" a mislabelled frame gives), NULs and blanks after it.
std::string Meaningful(std::string Text);

} // namespace bw::tagtext
