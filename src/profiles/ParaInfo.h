#pragma once
// The output parameter table: for every profile ID of the catalogue, what the profile means for
// the encoder (TFormatInfo). Read once from the program folder's "ParaInfo.dll" (an XML document)
// after the catalogue; lives for the whole run. Used on the user-interface thread.
//
// Nobody gets a stored record: GetFormatInfo hands out a new copy that the caller owns.

#include <map>
#include <memory>

#include "profiles/EncParam.h"
#include "profiles/FormatInfo.h"
#include "profiles/ProfileDataError.h"

// Builds the table once; later calls do nothing. Only IDs present in the catalogue are kept, and
// of two records with the same ID the first wins. A missing file shows the language text
// "ErrorNoParaFile" in a message box and leaves the table empty. A malformed document, a missing
// required attribute or "EncParam" element, or a non-numeric integer element (other than
// "FrameRate", which then reads as 0) raises EProfileDataError; the records read before stay.
void LoadParaInfo();
// A new copy of the record of that ID, or nullptr when the table has none.
std::unique_ptr<TFormatInfo> GetFormatInfo(int id);
// The stored records by ID (for reading; empty before the load).
const std::map<int, std::unique_ptr<TFormatInfo>>& FormatInfoMap();
bool ParaInfoLoaded();
void FreeParaInfo();
// `text` when it is a plain name or number (letters, digits, '.', '_'; it becomes an encoder
// option), else empty.
QString PlainOptionValue(const QString& text);
